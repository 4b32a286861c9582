// The list of the sound server's outputs while outputs come and go quickly,
// against the sound server of the test session.
#include "platform/speech/pulseoutputs.h"

#include <QProcess>
#include <QtTest>

namespace {

QString pactl(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// The server's sinks by name, in its own order.
QStringList serverSinks()
{
    QStringList names;
    for (const QString& line : pactl({"list", "short", "sinks"}).split('\n', Qt::SkipEmptyParts))
        names << line.section('\t', 1, 1);
    return names;
}

QStringList namesOf(const hy::OutputList& list)
{
    QStringList names;
    for (const hy::OutputDevice& d : list)
        names << d.name;
    return names;
}

} // namespace

class TestOutputList : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void followsQuickChanges_data();
    void followsQuickChanges();
};

void TestOutputList::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("PULSE_SERVER"), "run inside the test session");
}

void TestOutputList::followsQuickChanges_data()
{
    QTest::addColumn<int>("rounds");
    QTest::addColumn<bool>("waitBetween"); // for the list to show each change
    QTest::newRow("20 loads and unloads back to back") << 20 << false;
    QTest::newRow("5 loads and unloads, each seen") << 5 << true;
}

// Every list handed out names each output once, in the server's order; the
// last one is the server's list.
void TestOutputList::followsQuickChanges()
{
    QFETCH(int, rounds);
    QFETCH(bool, waitBetween);
    hy::PulseOutputs outputs;
    QList<QStringList> seen;
    outputs.watch([&](const hy::OutputList& l) { seen << namesOf(l); });
    const QStringList before = serverSinks();
    QTRY_COMPARE_WITH_TIMEOUT(seen.isEmpty() ? QStringList() : seen.last(), before, 10000);

    for (int i = 0; i < rounds; ++i) {
        const QString module = pactl({"load-module", "module-null-sink", "sink_name=third",
                                      "sink_properties=device.description=第三输出"});
        QVERIFY2(!module.isEmpty(), "the sink could not be loaded");
        if (waitBetween)
            QTRY_VERIFY_WITH_TIMEOUT(!seen.isEmpty() && seen.last().contains("third"), 10000);
        pactl({"unload-module", module});
        if (waitBetween)
            QTRY_COMPARE_WITH_TIMEOUT(seen.last(), before, 10000);
    }
    const QString module = pactl({"load-module", "module-null-sink", "sink_name=third",
                                  "sink_properties=device.description=第三输出"});
    const QStringList after = serverSinks();
    QCOMPARE(after.size(), before.size() + 1);
    QTRY_COMPARE_WITH_TIMEOUT(seen.last(), after, 10000);
    pactl({"unload-module", module});

    for (const QStringList& list : seen) {
        QCOMPARE(QSet<QString>(list.begin(), list.end()).size(), list.size());
        // The outputs that stay keep their order, with `third` after them.
        QStringList kept = list;
        kept.removeAll("third");
        QCOMPARE(kept, before);
        QVERIFY(!list.contains("third") || list.last() == "third");
    }
}

QTEST_GUILESS_MAIN(TestOutputList)
#include "test_outputlist.moc"
