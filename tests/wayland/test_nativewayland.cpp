// The window on Qt's own Wayland platform, in the Wayland test session: where
// no way exists to keep it above the others, the stay-on-top box says so; the
// hotkey goes through the desktop portal.
#include "fakes/formrig.h"

#include "platform/hotkey/globalhotkey.h"
#include "platform/hotkey/portalhotkey.h"
#include "shell/windowstate.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QtTest>

class TestNativeWayland : public QObject
{
    Q_OBJECT
private slots:
    void stayOnTopSaysItCannot();
    void hotkeyGoesThroughThePortal();
};

void TestNativeWayland::stayOnTopSaysItCannot()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    const QString hint = rig.find<QCheckBox>("chkDispTop")->toolTip();
    QVERIFY2(hint.contains(QStringLiteral("Wayland")) && hint.contains(QStringLiteral("最前面")),
             qPrintable(hint));
}

void TestNativeWayland::hotkeyGoesThroughThePortal()
{
    const auto hotkey = hy::createGlobalHotkey();
    QVERIFY(dynamic_cast<hy::PortalHotkey*>(hotkey.get()));
}

QTEST_MAIN(TestNativeWayland)
#include "test_nativewayland.moc"
