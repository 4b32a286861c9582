// The rules of key names and desktop shortcuts that need no desktop: which
// names mean Ctrl+F<n>, the free key nearest to the one chosen, the command
// line of the program's GNOME shortcut, and the stand-in for the desktop's
// shortcuts that tests of the window use.
#include "core/hotkeyname.h"
#include "fakes/fakedesktopshortcuts.h"
#include "platform/hotkey/gnomekeybindings.h"

#include <QtTest>

class TestHotkeyName : public QObject
{
    Q_OBJECT
private slots:
    void ctrlFunctionKey_data();
    void ctrlFunctionKey();
    void nearestFree_data();
    void nearestFree();
    void toggleCommand_data();
    void toggleCommand();
    void fakeAnswersLikeTheDesktop();
};

void TestHotkeyName::ctrlFunctionKey_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("means");
    QTest::newRow("KDE") << "Ctrl+F6" << 6 << true;
    QTest::newRow("GNOME's Primary") << "<Primary>F3" << 3 << true;
    QTest::newRow("GTK's Control, lower case") << "<Control>f3" << 3 << true;
    QTest::newRow("short Ctl") << "<Ctl>F12" << 12 << true;
    QTest::newRow("another key") << "<Primary>F3" << 4 << false;
    QTest::newRow("F1 is not F11") << "<Primary>F11" << 1 << false;
    QTest::newRow("with Alt") << "<Primary><Alt>F1" << 1 << false;
    QTest::newRow("with Shift") << "<Shift><Control>F2" << 2 << false;
    QTest::newRow("no Ctrl") << "<Super>F1" << 1 << false;
    QTest::newRow("none") << "" << 1 << false;
}

void TestHotkeyName::ctrlFunctionKey()
{
    QFETCH(QString, name);
    QFETCH(int, key);
    QFETCH(bool, means);
    QCOMPARE(hy::isCtrlFunctionKey(name, key), means);
}

void TestHotkeyName::nearestFree_data()
{
    QTest::addColumn<QList<int>>("held");
    QTest::addColumn<int>("wanted");
    QTest::addColumn<int>("nearest");
    const QList<int> kwin{1, 2, 3, 4, 7, 9, 10};
    QTest::newRow("KWin's, F1") << kwin << 1 << 5;
    QTest::newRow("KWin's, F5 free") << kwin << 5 << 5;
    QTest::newRow("KWin's, F9: below is nearer") << kwin << 9 << 8;
    QTest::newRow("KWin's, F10: above is nearer") << kwin << 10 << 11;
    QTest::newRow("tie: the higher") << QList<int>{7} << 7 << 8;
    QTest::newRow("top edge") << QList<int>{12} << 12 << 11;
    QTest::newRow("none held") << QList<int>() << 12 << 12;
    QTest::newRow("all held") << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12} << 6 << 0;
}

void TestHotkeyName::nearestFree()
{
    QFETCH(QList<int>, held);
    QFETCH(int, wanted);
    QFETCH(int, nearest);
    QCOMPARE(hy::nearestFreeFunctionKey(wanted, held), nearest);
}

// As gsd-media-keys reads it: an Exec line ('%' doubled), split as a shell would.
void TestHotkeyName::toggleCommand_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("command");
    QTest::newRow("plain") << "/usr/bin/hytune"
                           << "/usr/bin/hytune --toggle";
    QTest::newRow("space") << "/opt/my apps/hytune"
                           << "'/opt/my apps/hytune' --toggle";
    QTest::newRow("Chinese") << "/opt/禾音/hytune"
                             << "'/opt/禾音/hytune' --toggle";
    QTest::newRow("quote") << "/tmp/it's/hytune"
                           << "'/tmp/it'\\''s/hytune' --toggle";
    QTest::newRow("percent") << "/tmp/100%/hytune"
                             << "'/tmp/100%%/hytune' --toggle";
}

void TestHotkeyName::toggleCommand()
{
    QFETCH(QString, program);
    QFETCH(QString, command);
    QCOMPARE(hy::toggleCommand(program), command);
}

// Later and in order; a held key changes nothing, a free one moves ours.
void TestHotkeyName::fakeAnswersLikeTheDesktop()
{
    FakeDesktopShortcuts fake;
    fake.held.insert(3, QStringLiteral("我的截图"));
    QList<hy::ShortcutAnswer> got;
    const auto take = [&](const hy::ShortcutAnswer& a) { got << a; };
    fake.bind(1, QStringLiteral("/usr/bin/hytune"), take);
    fake.bind(3, QStringLiteral("/usr/bin/hytune"), take);
    fake.remove(take);
    QVERIFY(got.isEmpty());
    QTRY_COMPARE(got.size(), 3);
    QCOMPARE(got[0].result, FakeDesktopShortcuts::Result::Done);
    QCOMPARE(got[0].ours->binding, QStringLiteral("<Primary>F1"));
    QCOMPARE(got[1].result, FakeDesktopShortcuts::Result::Taken);
    QCOMPARE(got[1].ours, got[0].ours);
    QCOMPARE(got[1].message, QStringLiteral("Ctrl+F3 已被 GNOME 的“我的截图”占用"));
    QVERIFY(!got[2].ours);
}

QTEST_GUILESS_MAIN(TestHotkeyName)
#include "test_hotkeyname.moc"
