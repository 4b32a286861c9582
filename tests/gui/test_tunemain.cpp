#include "fakes/formrig.h"

#include "core/countdown/tickevent.h"
#include "core/mythread.h"
#include "core/servertime/servertime.h"
#include "shell/accessible.h"
#include "shell/application.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRawFont>
#include <QScrollBar>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTextLayout>
#include <QTimeEdit>
#include <QtTest>

namespace {

QString textOf(const QWidget* w)
{
    if (auto* l = qobject_cast<const QLabel*>(w))
        return l->text();
    if (auto* b = qobject_cast<const QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(w))
        return g->title();
    if (auto* c = qobject_cast<const QComboBox*>(w))
        return c->currentText();
    if (auto* t = qobject_cast<const QTimeEdit*>(w))
        return t->text();
    return {};
}

// "0-23" or "F1-F12": the items a box lists.
QStringList itemsOf(const QString& spec)
{
    if (spec.isEmpty())
        return {};
    if (!spec.contains('-'))
        return {spec};
    const bool f = spec.startsWith('F');
    const QStringList ends = QString(spec).remove('F').split('-');
    QStringList items;
    for (int i = ends[0].toInt(); i <= ends[1].toInt(); ++i)
        items << (f ? QStringLiteral("F%1").arg(i) : QString::number(i));
    return items;
}

// Every glyph of `text` in `font` is a real glyph, not the missing-glyph box;
// the faces the glyphs came from go to `faces`.
// The face a run was drawn with, by the family names in its own name table:
// the embedded face answers to "宋体" too.
QString faceOf(const QRawFont& font)
{
    QByteArray embedded;
    for (const QChar c : hy::embeddedSongFamily())
        embedded.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    return font.fontTable("name").contains(embedded) ? hy::embeddedSongFamily().toLower()
                                                     : font.familyName().toLower();
}

bool allGlyphsPresent(const QString& text, const QFont& font, QString* missing,
                      QSet<QString>* faces = nullptr)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    while (layout.createLine().isValid()) {
    }
    layout.endLayout();
    bool ok = true;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        if (faces)
            faces->insert(faceOf(run.rawFont()));
        for (quint32 index : run.glyphIndexes()) {
            if (index == 0) {
                ok = false;
                *missing = text;
            }
        }
    }
    return ok;
}

} // namespace

class TestTunemain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void controls_data();
    void controls();
    void window();
    void tabOrder();
    void helpText();
    void glyphs();
    void lifeOrder();
    void chimeRuleAfterRestoredBoxes();
    void errorInHandlerShowsBoxAndGoesOn_data();
    void errorInHandlerShowsBoxAndGoesOn();
    void refusalBox();
    void tickEventsReachCountdown();
    void checkBoxHandlersRunOnChangeOnly();
    void programSelectionRunsNoHandler();
    void downloadLink();
    void accessibleNames();
    void timePickerTakesTypedDigits_data();
    void timePickerTakesTypedDigits();
};

void TestTunemain::initTestCase()
{
    hy::installFontSubstitutes();
    hy::installQtTranslations();
    hy::installAccessibleNames();
}

void TestTunemain::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("cls");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("items");
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("fontPx");
    QTest::addColumn<QString>("colour"); // empty: the window text colour

    const auto row = [](const char* name, const char* cls, const char* parent, QRect g,
                        QString text, QString items = {}, int current = -2, bool enabled = true,
                        bool hidden = false, int px = 16, QString colour = {}) {
        QTest::newRow(name) << QString(name) << QString(cls) << QString(parent) << g << text
                            << items << current << enabled << hidden << px << colour;
    };
    row("pgc1", "QTabWidget", "TForm1", {0, 0, 544, 342}, {});
    row("pnl2", "QFrame", "TForm1", {0, 342, 544, 20}, {});
    row("grp12", "QGroupBox", "ts1", {9, 5, 312, 300}, "倒计时");
    row("chkStart", "QCheckBox", "grp12", {15, 24, 97, 17}, "开始时间：");
    row("dtmpckrStart", "QTimeEdit", "grp12", {114, 18, 151, 27}, "05:05:05");
    row("lbl7", "QLabel", "grp12", {15, 54, 144, 16}, "倒计数(时:分:秒)：");
    row("lblMinTick", "QLabel", "grp12", {162, 47, 104, 24}, "00:10:30", {}, -2, true, false, 24,
        "#ff0000");
    row("cbbHour", "QComboBox", "grp12", {32, 77, 70, 24}, "0", "0-23", 0);
    row("lbl10", "QLabel", "grp12", {103, 79, 8, 16}, ":");
    row("cbbMin", "QComboBox", "grp12", {114, 77, 70, 24}, "10", "0-59", 10);
    row("lbl11", "QLabel", "grp12", {184, 79, 8, 16}, ":");
    row("cbbSec", "QComboBox", "grp12", {195, 77, 70, 24}, "30", "0-59", 30);
    row("chkMin", "QCheckBox", "grp12", {15, 117, 57, 17}, "最后");
    row("cbbLastMin", "QComboBox", "grp12", {72, 114, 49, 24}, "10", "1-60", 9);
    row("lbl12", "QLabel", "grp12", {125, 117, 48, 16}, "分钟每");
    row("cbbPerMin", "QComboBox", "grp12", {176, 114, 49, 24}, "1", "1-30", 0);
    row("lbl13", "QLabel", "grp12", {227, 117, 64, 16}, "分钟报数");
    row("chkSec", "QCheckBox", "grp12", {15, 152, 57, 17}, "最后");
    row("cbbLastSec", "QComboBox", "grp12", {72, 149, 49, 24}, "30", "1-60", -1);
    row("lbl15", "QLabel", "grp12", {125, 152, 48, 16}, "秒钟每");
    row("cbbPerSec", "QComboBox", "grp12", {176, 149, 49, 24}, "1", "1-30", 0);
    row("lbl16", "QLabel", "grp12", {227, 152, 64, 16}, "秒钟报数");
    row("chkLastOne", "QCheckBox", "grp12", {15, 186, 154, 17}, "最后一秒提示声音");
    row("btnLastOne", "QPushButton", "grp12", {176, 183, 89, 27}, "选择声音");
    row("pnl3", "QFrame", "grp12", {15, 215, 285, 3}, {});
    row("chkCircle", "QCheckBox", "grp12", {15, 228, 91, 17}, "循环计时");
    row("lblTitle", "QLabel", "grp12", {125, 228, 96, 16}, "已循环次数：", {}, -2, true, true);
    row("lblCount", "QLabel", "grp12", {224, 228, 8, 16}, "0", {}, -2, true, true, 16, "#0000ff");
    row("btnMinStart", "QPushButton", "grp12", {15, 261, 113, 29}, "启动");
    row("btnStop", "QPushButton", "grp12", {176, 261, 113, 29}, "停止", {}, -2, false);
    row("grpFix", "QGroupBox", "ts1", {336, 5, 185, 84}, "定时报时");
    row("chkFix", "QCheckBox", "grpFix", {23, 24, 130, 17}, "启用定时报时");
    row("cbbFixHour", "QComboBox", "grpFix", {23, 50, 70, 24}, "9", "0-23", 9, false);
    row("lbl6", "QLabel", "grpFix", {93, 52, 8, 16}, ":");
    row("cbbFixMin", "QComboBox", "grpFix", {103, 50, 70, 24}, "25", "0-59", 25, false);
    row("grp1Timer", "QGroupBox", "ts1", {338, 104, 185, 89}, "报时设置");
    row("chkHour", "QCheckBox", "grp1Timer", {21, 25, 97, 17}, "整点报时");
    row("chkHalf", "QCheckBox", "grp1Timer", {21, 56, 92, 17}, "半点报时");
    row("chkDispTop", "QCheckBox", "ts1", {338, 203, 122, 17}, "显示在最前面");
    row("lbl3", "QLabel", "ts1", {338, 230, 136, 16}, "启动/停止快捷键：");
    row("lbl4", "QLabel", "ts1", {339, 251, 40, 16}, "CTRL+");
    row("cbbKey", "QComboBox", "ts1", {384, 250, 73, 24}, "F1", "F1-F12", 0);
    // The third page: the sound, 对时 below it, and two options at the foot;
    // rows of messages that say nothing take no room.
    row("grpSound", "QGroupBox", "ts3", {9, 4, 522, 150}, "声音");
    row("lblVolume", "QLabel", "grpSound", {15, 25, 48, 16}, "音量：");
    row("sldVolume", "QSlider", "grpSound", {66, 22, 276, 22}, {});
    row("lblVolumeValue", "QLabel", "grpSound", {350, 25, 48, 16}, "100%");
    row("btnTryVolume", "QPushButton", "grpSound", {410, 20, 97, 27}, "试听");
    row("lblOutput", "QLabel", "grpSound", {15, 57, 80, 16}, "输出设备：");
    row("cbbOutput", "QComboBox", "grpSound", {98, 53, 409, 24}, "系统默认", "系统默认", 0);
    row("lblOutputState", "QLabel", "grpSound", {305, 65, 202, 0}, "", {}, -2, true, true);
    row("chkQuiet", "QCheckBox", "grpSound", {15, 88, 80, 17}, "免打扰");
    row("dtmQuietFrom", "QTimeEdit", "grpSound", {98, 83, 70, 27}, "22:00", {}, -2, false);
    row("lblQuietTo", "QLabel", "grpSound", {173, 88, 16, 16}, "至");
    row("dtmQuietTo", "QTimeEdit", "grpSound", {194, 83, 70, 27}, "07:00", {}, -2, false);
    row("lblQuietNote", "QLabel", "grpSound", {272, 88, 235, 16}, "整点、半点、定时报时静音");
    row("lblVoice", "QLabel", "grpSound", {15, 121, 64, 16}, "语音包：");
    row("btnVoiceFolder", "QPushButton", "grpSound", {98, 116, 97, 27}, "选择文件夹");
    row("btnVoiceBuiltin", "QPushButton", "grpSound", {200, 116, 113, 27}, "恢复内置语音", {}, -2,
        false);
    row("lblVoiceState", "QLabel", "grpSound", {320, 121, 187, 16}, "使用内置语音");
    row("mmoHelp", "QPlainTextEdit", "ts2", {0, 0, 336, 311}, {});
    row("pnl1", "QFrame", "ts2", {336, 0, 200, 311}, {});
    row("lbl1", "QLabel", "pnl1", {50, 10, 98, 14}, "禾音语音报时器", {}, -2, true, false, 14);
    row("lbl2", "QLabel", "pnl1", {58, 33, 78, 12}, "版本：2.0.403", {}, -2, true, false, 12);
    row("lbl8", "QLabel", "pnl1", {58, 71, 72, 12}, "下载最新版本", {}, -2, true, false, 12,
        "#0000ff");
    row("img1", "QLabel", "pnl1", {5, 90, 188, 218}, {});
    row("lblTips", "QLabel", "pnl2", {2, 3, 7, 13}, "", {}, -2, true, false, 13);
    // 对时, in the lower part of the page 声音与对时.
    row("grpServerTime", "ServerTimePanel", "ts3", {9, 158, 522, 98}, "对时");
    row("lblServerAddr", "QLabel", "grpServerTime", {15, 27, 96, 16}, "服务器地址：");
    row("edtServerAddr", "QLineEdit", "grpServerTime", {109, 23, 307, 24}, {});
    row("btnServerCheck", "QPushButton", "grpServerTime", {424, 23, 84, 24}, "对时");
    row("chkServerTime", "QCheckBox", "grpServerTime", {15, 55, 140, 20}, "按服务器时间");
    row("lblServerResult", "QLabel", "grpServerTime", {15, 76, 492, 16}, "还没有对时");
    row("chkNotifyAtEnd", "QCheckBox", "ts3", {24, 260, 140, 18}, "结束时通知");
    row("chkAutostart", "QCheckBox", "ts3", {200, 260, 140, 18}, "登录时启动");
}

void TestTunemain::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, cls);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, items);
    QFETCH(int, current);
    QFETCH(bool, enabled);
    QFETCH(bool, hidden);
    QFETCH(int, fontPx);
    QFETCH(QString, colour);

    FormRig rig;
    TForm1& form = rig.make();
    auto* w = form.findChild<QWidget*>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(QString(w->metaObject()->className()), cls);
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->geometry(), geometry);
    if (!text.isNull())
        QCOMPARE(textOf(w), text);
    if (auto* box = qobject_cast<QComboBox*>(w)) {
        QStringList listed;
        for (int i = 0; i < box->count(); ++i)
            listed << box->itemText(i);
        QCOMPARE(listed, itemsOf(items));
        QCOMPARE(box->currentIndex(), current);
        // Count limits take typed text; the length and fixed-time boxes only their items.
        const bool editable = name.startsWith("cbbLast") || name.startsWith("cbbPer");
        QCOMPARE(box->isEditable(), editable);
        QCOMPARE(box->maxVisibleItems(), name == "cbbKey" ? 12 : 11);
    }
    if (auto* check = qobject_cast<QCheckBox*>(w))
        QCOMPARE(check->isChecked(), name == "chkNotifyAtEnd"); // on unless chosen off
    QCOMPARE(w->isEnabled(), enabled);
    QCOMPARE(w->isHidden(), hidden);
    QCOMPARE(w->font().pixelSize(), fontPx);
    QCOMPARE(w->font().family(), QStringLiteral("宋体"));
    if (!colour.isEmpty())
        QCOMPARE(w->palette().color(QPalette::Active, QPalette::WindowText), QColor(colour));
    else
        QCOMPARE(w->palette().color(QPalette::Active, QPalette::WindowText),
                 form.palette().color(QPalette::Active, QPalette::WindowText));
}

void TestTunemain::window()
{
    FormRig rig;
    TForm1& form = rig.make();
    QCOMPARE(form.windowTitle(), QStringLiteral("禾音语音报时器"));
    QCOMPARE(form.size(), QSize(544, 362));
    QCOMPARE(form.minimumSize(), QSize(544, 362));
    QCOMPARE(form.maximumSize(), QSize(544, 362));
    QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));
    QVERIFY(!form.windowIcon().isNull());

    auto* tabs = rig.find<QTabWidget>("pgc1");
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("定时设置"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("声音与对时"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("关于帮助"));
    QCOMPARE(tabs->currentIndex(), 0);

    QCOMPARE(rig.find<QTimeEdit>("dtmpckrStart")->time(), QTime(5, 5, 5));
    QCOMPARE(rig.find<QLabel>("lblTips")->textFormat(), Qt::PlainText);
    QVERIFY(rig.find<QLabel>("lblTips")->font().underline());
    QCOMPARE(rig.find<QLabel>("lblTips")->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(rig.find<QLabel>("lbl8")->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(rig.find<QLabel>("lblMinTick")->font().bold());
    QVERIFY(rig.find<QLabel>("lbl14")->text().contains('@')); // the contact line
    // The about picture: decoded when its page is first shown.
    tabs->setCurrentIndex(2);
    const QPixmap picture = rig.find<QLabel>("img1")->pixmap();
    QCOMPARE(picture.size(), QSize(188, 218)); // the 800 x 920 picture, fitted to its box
    QVERIFY(picture.toImage().pixelColor(94, 60) != picture.toImage().pixelColor(4, 4));
    QVERIFY(rig.find<QLabel>("img1")->hasScaledContents());
    auto* separator = rig.find<QFrame>("pnl3");
    QCOMPARE(separator->frameShadow(), QFrame::Sunken);
    QVERIFY(rig.find<QPlainTextEdit>("mmoHelp")->isReadOnly());
}

void TestTunemain::tabOrder()
{
    FormRig rig;
    TForm1& form = rig.make();
    const QStringList order{"chkHour",    "chkHalf",     "chkStart",  "dtmpckrStart", "cbbHour",
                            "cbbMin",     "cbbSec",      "chkMin",    "cbbLastMin",   "cbbPerMin",
                            "chkSec",     "cbbLastSec",  "cbbPerSec", "chkLastOne",   "btnLastOne",
                            "chkCircle",  "btnMinStart", "btnStop",   "chkDispTop",   "chkFix",
                            "cbbFixHour", "cbbFixMin",   "cbbKey"};
    // The controls as the Tab key visits them, from the first one on.
    QStringList visited;
    QWidget* w = form.findChild<QWidget*>(order.first());
    for (int guard = 0; w && visited.size() < order.size() && guard < 1000; ++guard) {
        if (order.contains(w->objectName()) && (w->focusPolicy() & Qt::TabFocus))
            visited << w->objectName();
        w = w->nextInFocusChain();
    }
    QCOMPARE(visited, order);
}

void TestTunemain::helpText()
{
    FormRig rig;
    TForm1& form = rig.make();
    const QStringList lines = rig.find<QPlainTextEdit>("mmoHelp")->toPlainText().split('\n');
    QCOMPARE(lines.size(), 18);
    const QStringList fixed{"禾音语音报时器说明：",
                            "",
                            "1、可以设置语音报时；",
                            "",
                            "2、可以设置倒计时并语音报数；",
                            "",
                            "3、可以设置循环倒计时；",
                            "",
                            "4、可以设置定时报时；",
                            "",
                            "5、常用于游戏、秒杀、计时等进行语音提醒；",
                            "",
                            "6、启动或停止快捷键：Ctrl + F1；",
                            "",
                            ""};
    QCOMPARE(lines.mid(0, 15), fixed);
    QVERIFY(lines[15].startsWith("     ") && lines[15].size() > 6); // credit line
    QCOMPARE(lines[16], QString());
    QVERIFY(lines[17].startsWith("     http")); // web address

    // Every line is seen whole in the box: long ones wrap at its width, none
    // runs off to the right.
    form.show();
    rig.find<QTabWidget>("pgc1")->setCurrentIndex(2);
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* help = rig.find<QPlainTextEdit>("mmoHelp");
    QTRY_VERIFY(help->isVisible());
    QCOMPARE(help->horizontalScrollBar()->maximum(), 0);
    QCOMPARE(help->document()->blockCount(), 18);
}

void TestTunemain::glyphs()
{
    FormRig rig;
    TForm1& form = rig.make();
    QStringList failures;
    QStringList foreign;
    const auto check = [&](const QString& text, const QFont& font) {
        QString missing;
        QSet<QString> faces;
        if (!text.isEmpty() && !allGlyphsPresent(text, font, &missing, &faces))
            failures << missing;
        // The window's own texts come from the embedded face alone; a text it
        // lacks a character of means scripts/make-font.sh was not run after
        // the text changed.
        if (font.family() == QStringLiteral("宋体") &&
            !(faces.isEmpty() || faces == QSet<QString>{hy::embeddedSongFamily().toLower()}))
            foreign << text;
    };
    check(form.windowTitle(), form.font());
    for (QWidget* w : form.findChildren<QWidget*>())
        check(textOf(w), w->font());
    auto* tabs = rig.find<QTabWidget>("pgc1");
    for (int i = 0; i < tabs->count(); ++i)
        check(tabs->tabText(i), tabs->font());
    for (const QString& line : rig.find<QPlainTextEdit>("mmoHelp")->toPlainText().split('\n'))
        check(line, rig.find<QPlainTextEdit>("mmoHelp")->font());
    check(QStringLiteral("请选择倒计数条件后再试！禾音语音定时器"), form.font());
    // What the 对时 panel says after a check.
    auto* result = rig.find<QLabel>("lblServerResult");
    check(hy::offsetText({-420000, 30000, 0}) + hy::offsetText({420000, 30000, 0}), result->font());
    check(hy::offsetText({4000, 30000, 0}) + hy::ageText(12 * 60000) + hy::ageText(0) +
              hy::ageText(7200000),
          result->font());
    for (const char* typed : {"", "ftp://x", "ntp://x/y"})
        check(hy::parseServerAddress(QString::fromLatin1(typed)).error, result->font());
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(" | ")));
    QVERIFY2(foreign.isEmpty(),
             qPrintable("not all from the embedded face: " + foreign.join(" | ")));

    // Text from elsewhere (a web tip) with characters the embedded face
    // lacks still gets real glyphs, from the installed CJK fonts.
    const QString tip = QStringLiteral("龙猫喵：周末记得浇花");
    QString missing;
    QSet<QString> faces;
    QVERIFY2(allGlyphsPresent(tip, rig.find<QLabel>("lblTips")->font(), &missing, &faces),
             qPrintable(missing));
    QVERIFY(faces.size() > 1);
}

// Journals the moment the announcer is stopped and what the clip table held then.
void TestTunemain::lifeOrder()
{
    FormRig rig;
    rig.writeSettings("[Common]\nIsHour=1\n");
    bool chimeRunningAtHotkey = false;
    auto services = rig.services();
    auto makeHotkey = services.makeHotkey;
    services.makeHotkey = [&] {
        // The chime rule has run by the time the hotkey is registered.
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<TForm1*>(w))
                chimeRunningAtHotkey = f && rig.clock->timer("tmrHour")->isActive();
        return makeHotkey();
    };
    rig.make(std::move(services));
    TForm1& form = *rig.form;
    QVERIFY(chimeRunningAtHotkey);
    QCOMPARE(rig.journal,
             (QStringList{"settings loaded", "clips loaded", "announcer started", "hotkey"}));
    QCOMPARE(form.speech().clips().loadedCount(), 23);
    QVERIFY(form.speech().isStarted());
    QCOMPARE(rig.hotkey->heldKey(), 1); // Ctrl+F1 after the settings

    form.speech().post(hy::SecondCount, 5);
    QVERIFY(rig.player->waitFinished(1));

    rig.journal.clear();
    form.close();
    QCOMPARE(rig.journal, (QStringList{"announcer stopped with 23 clips", "settings saved"}));
    QCOMPARE(form.speech().clips().loadedCount(), 0);
    // Stopped and joined: nothing more is spoken.
    form.speech().post(hy::SecondCount, 6);
    QTest::qWait(50);
    QCOMPARE(rig.player->started().size(), size_t(1));
}

void TestTunemain::chimeRuleAfterRestoredBoxes()
{
    FormRig rig;
    rig.realTimers = true;
    rig.writeSettings("[Common]\nIsHour=1\nIsFixTimer=1\nIsCircle=1\n");
    rig.make();
    auto* tmrHour = rig.core->findChild<QTimer*>("tmrHour");
    QVERIFY(tmrHour->isActive());
    QVERIFY(tmrHour->isSingleShot()); // aimed at second 0 of each minute in turn
    QVERIFY(tmrHour->remainingTime() <= 60000);
    QCOMPARE(tmrHour->timerType(), Qt::PreciseTimer);
    QVERIFY(rig.find<QComboBox>("cbbFixHour")->isEnabled());
    QVERIFY(!rig.find<QLabel>("lblCount")->isHidden());

    FormRig plain;
    plain.realTimers = true;
    TForm1& idle = plain.make();
    QVERIFY(!plain.core->findChild<QTimer*>("tmrHour")->isActive());
    QVERIFY(idle.findChild<QTimer*>("tmr1")->isActive());
    QCOMPARE(idle.findChild<QTimer*>("tmr1")->interval(), 15000);
}

void TestTunemain::errorInHandlerShowsBoxAndGoesOn_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bad number at Start") << "start"
                                         << "“abc”";
    QTest::newRow("error from the shell") << "link"
                                          << "no browser here";
}

void TestTunemain::errorInHandlerShowsBoxAndGoesOn()
{
    QFETCH(QString, how);
    QFETCH(QString, expected);
    FormRig rig;
    auto services = rig.services();
    services.openUrl = [](const QUrl&) { throw std::runtime_error("no browser here"); };
    rig.make(std::move(services));
    TForm1& form = *rig.form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    BoxCatcher catcher;
    catcher.arm();
    if (how == "start") {
        rig.find<QCheckBox>("chkSec")->setChecked(true);
        rig.find<QComboBox>("cbbLastMin")->setEditText("abc");
        QTest::mouseClick(rig.find<QPushButton>("btnMinStart"), Qt::LeftButton);
    } else {
        rig.find<QTabWidget>("pgc1")->setCurrentIndex(2);
        QTest::mouseClick(rig.find<QLabel>("lbl8"), Qt::LeftButton);
    }
    QTRY_COMPARE(catcher.seen, 1);
    QVERIFY2(catcher.text.contains(expected), qPrintable(catcher.text));
    QCOMPARE(catcher.title, QStringLiteral("禾音语音报时器"));
    QCOMPARE(catcher.icon, QMessageBox::Critical);
    // The program goes on: the window still works.
    QVERIFY(rig.find<QPushButton>("btnMinStart")->isEnabled());
    QVERIFY(!form.countdown().isActive());
    bool fired = false;
    QTimer::singleShot(10, [&] { fired = true; });
    QTRY_VERIFY(fired);
}

void TestTunemain::refusalBox()
{
    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    BoxCatcher catcher;
    catcher.arm();
    QTest::mouseClick(rig.find<QPushButton>("btnMinStart"), Qt::LeftButton);
    QTRY_COMPARE(catcher.seen, 1);
    QCOMPARE(catcher.text, QStringLiteral("请选择倒计数条件后再试！"));
    QCOMPARE(catcher.title, QStringLiteral("禾音语音报时器"));
    QCOMPARE(catcher.icon, QMessageBox::Critical);
    QCOMPARE(catcher.buttons, QStringList{"确定"}); // Qt's own text, in Chinese too
    QVERIFY(!form.countdown().isActive());
    QCOMPARE(rig.ticks->starts, 0);
}

void TestTunemain::tickEventsReachCountdown()
{
    FormRig rig;
    TForm1& form = rig.make();
    rig.find<QCheckBox>("chkSec")->setChecked(true);
    rig.click("btnMinStart");
    QVERIFY(rig.ticks->running);
    QVERIFY(!rig.find<QPushButton>("btnMinStart")->isEnabled());
    QVERIFY(rig.find<QPushButton>("btnStop")->isEnabled());
    QCOMPARE(rig.find<QLabel>("lblMinTick")->text(), QStringLiteral("0:10:30"));
    QCoreApplication::postEvent(rig.core.get(), new hy::TickEvent(rig.ticks->run));
    QCoreApplication::postEvent(rig.core.get(),
                                new hy::TickEvent(rig.ticks->run + 7)); // not this run
    QCoreApplication::postEvent(&form, new QEvent(QEvent::User));       // default handling
    QTRY_COMPARE(rig.find<QLabel>("lblMinTick")->text(), QStringLiteral("0:10:29"));
    QCoreApplication::processEvents();
    QCOMPARE(form.countdown().RemainSeconds, 629);
    QTest::mouseClick(rig.find<QPushButton>("btnStop"), Qt::LeftButton);
    QVERIFY(!rig.ticks->running);
    QVERIFY(rig.find<QPushButton>("btnMinStart")->isEnabled());
    QVERIFY(!rig.find<QPushButton>("btnStop")->isEnabled());
}

void TestTunemain::checkBoxHandlersRunOnChangeOnly()
{
    FormRig rig;
    rig.make();
    rig.clock->now = QTime(12, 0, 30);
    FakeTimer* tmrHour = rig.clock->timer("tmrHour");
    auto* fix = rig.find<QCheckBox>("chkFix");
    fix->setChecked(true); // by the program: the handler runs
    QVERIFY(rig.find<QComboBox>("cbbFixHour")->isEnabled());
    QVERIFY(tmrHour->isActive());
    const qint64 before = tmrHour->remainingMs();
    rig.clock->advance(30);
    fix->setChecked(true); // no change: nothing runs, the phase stays
    QVERIFY(tmrHour->remainingMs() < before);
    rig.find<QCheckBox>("chkCircle")->setChecked(true);
    QVERIFY(!rig.find<QLabel>("lblTitle")->isHidden());
    rig.find<QCheckBox>("chkCircle")->setChecked(false);
    QVERIFY(rig.find<QLabel>("lblTitle")->isHidden());
    QVERIFY(rig.find<QLabel>("lblCount")->isHidden());
}

void TestTunemain::programSelectionRunsNoHandler()
{
    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* key = rig.find<QComboBox>("cbbKey");
    QCOMPARE(rig.hotkey->calls(), QStringList{"register F1"});
    key->setCurrentIndex(4); // by the program
    QCOMPARE(rig.hotkey->calls(), QStringList{"register F1"});
    key->setFocus();
    QTest::keyClick(key, Qt::Key_Down); // a user's choice: F6
    QCOMPARE(key->currentText(), QStringLiteral("F6"));
    QCOMPARE(rig.hotkey->calls(), (QStringList{"register F1", "unregister", "register F6"}));
    QCOMPARE(rig.hotkey->heldKey(), 6);
}

void TestTunemain::downloadLink()
{
    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    rig.find<QTabWidget>("pgc1")->setCurrentIndex(2);
    QTest::mouseClick(rig.find<QLabel>("lbl8"), Qt::LeftButton);
    QCOMPARE(rig.opened, QList<QUrl>{QUrl("http://tips.test/showsoft.asp?id=101")});
}

// Every control the keyboard reaches can be told apart by name, also where its
// visible text is a number or repeats another's; the labels before the boxes
// are tied to them.
void TestTunemain::accessibleNames()
{
    FormRig rig;
    TForm1& form = rig.make();
    QStringList names;
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().isEmpty() &&
            !w->objectName().startsWith("qt_") && !qobject_cast<QTabBar*>(w)) {
            // What assistive technology is told, as Qt's bridge to it asks.
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
            names << (a ? a->text(QAccessible::Name) : QString());
        }
    }
    auto* lastMinutes = QAccessible::queryAccessibleInterface(rig.find<QComboBox>("cbbLastMin"));
    QCOMPARE(lastMinutes->text(QAccessible::Name), QStringLiteral("最后几分钟报数"));
    QCOMPARE(lastMinutes->text(QAccessible::Value), QStringLiteral("10"));
    QVERIFY(names.size() >= 24); // the tab order's 23 and the help text, at least
    QVERIFY2(!names.contains(QString()), qPrintable(names.join(' ')));
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    QCOMPARE(rig.find<QLabel>("lbl4")->buddy(), rig.find<QComboBox>("cbbKey"));
    QCOMPARE(rig.find<QLabel>("lbl3")->buddy(), rig.find<QComboBox>("cbbKey"));
    QCOMPARE(rig.find<QLabel>("lbl7")->buddy(), rig.find<QComboBox>("cbbHour"));
    QCOMPARE(rig.find<QLabel>("lbl12")->buddy(), rig.find<QComboBox>("cbbPerMin"));
    QCOMPARE(rig.find<QLabel>("lbl15")->buddy(), rig.find<QComboBox>("cbbPerSec"));
}

void TestTunemain::timePickerTakesTypedDigits_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QTime>("typed");
    QTest::newRow("hours") << int(QDateTimeEdit::HourSection) << QTime(8, 5, 5);
    QTest::newRow("minutes") << int(QDateTimeEdit::MinuteSection) << QTime(5, 8, 5);
    QTest::newRow("seconds") << int(QDateTimeEdit::SecondSection) << QTime(5, 5, 8);
}

// One click into a field, then digits: they replace the field.
void TestTunemain::timePickerTakesTypedDigits()
{
    QFETCH(int, field);
    QFETCH(QTime, typed);
    FormRig rig;
    TForm1& form = rig.make();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto* picker = rig.find<QTimeEdit>("dtmpckrStart");
    auto* edit = picker->findChild<QLineEdit*>();
    // Somewhere in the field: the first place from the left whose click lands in it.
    int x = 1;
    do {
        QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, edit->height() / 2));
        QCoreApplication::processEvents();
        x += 2;
    } while (x < edit->width() && int(picker->currentSection()) != field);
    QCOMPARE(int(picker->currentSection()), field);
    QTest::keyClicks(edit, "08");
    QCOMPARE(picker->time(), typed);
}

QTEST_MAIN(TestTunemain)
#include "test_tunemain.moc"
