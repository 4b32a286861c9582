#include "shell/tunemain.h"
#include "ui_tunemain.h"

#include "core/app/appcore.h"
#include "core/speech/alertsound.h"
#include "platform/hotkey/globalhotkey.h"
#include "shell/accessible.h"
#include "shell/errorbox.h"
#include "shell/formlook.h"
#include "shell/hotkeybinding.h"
#include "shell/servertimepanel.h"
#include "shell/settingsbinder.h"
#include "shell/soundpage.h"
#include "shell/tipsticker.h"
#include "shell/trayicon.h"
#include "shell/windowplacer.h"
#include "shell/windowstate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>

using namespace hy;

TForm1::TForm1(AppCore& core, FormServices services, QWidget* parent)
    : QWidget(parent)
    , m_core(core)
    , ui(std::make_unique<Ui::TForm1>())
    , m_services(std::move(services))
{
    // The window font first, so the controls are laid out once, in it. The
    // tab pages are built without a parent and only then put in the tab
    // widget: for as long as setupUi and the 对时 panel are built, the
    // application font is the window's too, or their texts would first be
    // laid out in the desktop font, pulling in a fallback CJK font file and a
    // search of the installed faces for nothing.
    setFont(designFont(16));
    {
        const QFont desktopFont = QApplication::font();
        QApplication::setFont(font());
        ui->setupUi(this);
        m_serverTime = new ServerTimePanel(m_core.serverTime(), ui->ts3);
        QApplication::setFont(desktopFont);
    }
    applyDesignLook(*this, *ui);
    trycn1 = new TTrayIcon(this);
    buildTrayMenu();
    m_placer = new WindowPlacer(*this, [this] { return ui->chkDispTop->isChecked(); });
    ui->chkDispTop->setToolTip(staysOnTopLimit());
    m_tips = std::make_unique<TipsTicker>(
        *ui->lblTips, m_services.makeTimer(this, QStringLiteral("tmr1")),
        TipsTicker::Source{QUrl(m_services.serverBase + QStringLiteral("/tips.asp")),
                           m_services.tipsCachePath,
                           m_services.openUrl,
                           {}},
        this);
    m_soundPage =
        std::make_unique<SoundPage>(*ui, m_core, *m_serverTime, m_services.chooseVoiceFolder, this);
    wireHandlers();
    // The controls show the settings from now on, and what is put in them
    // becomes the settings.
    m_binder = new SettingsBinder(m_core.settings(), *this);
    showCountdown();
    FormCreate();
}

TForm1::~TForm1()
{
    // FormDestroy
    m_hotkey.reset();
}

const CountdownEngine& TForm1::countdown() const
{
    return m_core.countdown();
}

SpeechOutput& TForm1::speech()
{
    return m_core.speech();
}

GlobalHotkey* TForm1::hotkey() const
{
    return m_hotkey ? m_hotkey->hotkey() : nullptr;
}

bool TForm1::saveSettings()
{
    return m_core.save();
}

const QString& TForm1::lastWaveFile() const
{
    return m_core.alertSound().path();
}

void TForm1::wireHandlers()
{
    const auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { guarded(this, [&] { (this->*handler)(); }); });
    };
    on(ui->btnMinStart, &QPushButton::clicked, &TForm1::btnMinStartClick);
    on(ui->btnStop, &QPushButton::clicked, &TForm1::btnStopClick);
    on(ui->btnLastOne, &QPushButton::clicked, &TForm1::btnLastOneClick);
    // Check boxes run their handler on every change of state, by the user or
    // by the program, and never when the state stays.
    on(ui->chkCircle, &QCheckBox::toggled, &TForm1::chkCircleClick);
    on(ui->chkFix, &QCheckBox::toggled, &TForm1::chkFixClick);
    on(ui->chkDispTop, &QCheckBox::toggled, &TForm1::chkDispTopClick);
    // Only a user's choice re-registers the hotkey; a selection made by the
    // program runs nothing.
    on(ui->cbbKey, &QComboBox::activated, &TForm1::cbbKeyChange);
    connect(&m_core, &AppCore::displayChanged, this, &TForm1::showCountdown);
    connect(&m_core, &AppCore::startRefused, this, &TForm1::refuseStart);
    connect(&m_core.alertSound(), &AlertSound::changed, this,
            [this] { ui->btnLastOne->setToolTip(plainToolTip(m_core.alertSound().path())); });
    ui->lbl8->installEventFilter(this);
    // The about picture is decoded when its page is first shown, not at start.
    connect(ui->pgc1, &QTabWidget::currentChanged, this, [this] {
        if (ui->pgc1->currentWidget() == ui->ts2)
            showAboutPicture(*ui->img1);
    });
}

// ---- life --------------------------------------------------------------------

void TForm1::FormCreate()
{
    guarded(this, [this] {
        m_core.start();
        m_hotkey = std::make_unique<HotkeyBinding>(
            m_services.makeHotkey(), *ui->cbbKey, *ui->mmoHelp, *trycn1,
            HotkeyBinding::Hooks{[this] { guarded(this, [this] { hotKeyToggle(); }); },
                                 [this](int n) {
                                     m_core.settings().set(QStringLiteral("HotKey"),
                                                           QStringLiteral("F%1").arg(n));
                                     cbbKeyChange();
                                 },
                                 m_services.makeNotifier});
        m_hotkey->bind();
    });
}

void TForm1::FormClose()
{
    m_core.close();
    m_tips->close();
}

void TForm1::closeEvent(QCloseEvent* e)
{
    if (!m_closed) {
        m_closed = true;
        guarded(this, [this] { FormClose(); });
    }
    e->accept();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == ui->lbl8 && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
        guarded(this, [this] { lbl8Click(); });
    return QWidget::eventFilter(watched, e);
}

// ---- countdown ---------------------------------------------------------------

void TForm1::showFromOutside()
{
    trycn1->Restore();
}

void TForm1::startInTray()
{
    trycn1->startHidden();
}

// The tray icon's menu, for desktops whose notification area offers one: the
// countdown's start or stop, its pause, the window, and the end of the program.
void TForm1::buildTrayMenu()
{
    auto* menu = new QMenu(this);
    const auto item = [&](auto handler) {
        QAction* a = menu->addAction(QString());
        connect(a, &QAction::triggered, this, [this, handler] { guarded(this, handler); });
        return a;
    };
    m_trayStartStop = item([this] {
        if (m_core.countdown().isActive())
            btnStopClick();
        else
            btnMinStartClick();
    });
    m_trayPause = item([this] {
        if (m_core.countdown().isPaused())
            m_core.resumeCountdown();
        else
            m_core.pauseCountdown();
    });
    item([this] { showFromOutside(); })->setText(QStringLiteral("显示窗口"));
    menu->addSeparator();
    item([this] { close(); })->setText(QStringLiteral("退出"));
    trycn1->icon()->setContextMenu(menu);
}

void TForm1::btnMinStartClick()
{
    m_core.startCountdown();
}

void TForm1::btnStopClick()
{
    m_core.stopCountdown();
}

void TForm1::hotKeyToggle()
{
    m_core.toggleCountdown();
}

void TForm1::chkCircleClick()
{
    const bool on = ui->chkCircle->isChecked();
    ui->lblTitle->setVisible(on);
    ui->lblCount->setVisible(on);
}

void TForm1::showCountdown()
{
    const CountdownDisplay& d = m_core.display();
    if (!d.remaining.isEmpty())
        showText(*ui->lblMinTick, d.remaining);
    showText(*ui->lblCount, QString::number(d.cycleCount));
    ui->btnMinStart->setEnabled(!d.running);
    ui->btnStop->setEnabled(d.running);
    const QString waiting =
        d.waitingUntil.isValid()
            ? QStringLiteral("等待开始时间 %1").arg(d.waitingUntil.toString("H:mm:ss"))
            : QString();
    ui->lblMinTick->setToolTip(d.paused ? QStringLiteral("已暂停") : waiting);
    trycn1->showState(!d.running ? QString()
                      : d.paused ? QStringLiteral("已暂停，剩余 %1").arg(d.remaining)
                      : !waiting.isEmpty() ? waiting
                                           : QStringLiteral("剩余 %1").arg(d.remaining));
    m_trayStartStop->setText(d.running ? QStringLiteral("停止倒计时")
                                       : QStringLiteral("启动倒计时"));
    m_trayPause->setText(d.paused ? QStringLiteral("继续") : QStringLiteral("暂停"));
    m_trayPause->setEnabled(d.running);
}

void TForm1::refuseStart()
{
    tell(QStringLiteral("请选择倒计数条件后再试！"));
}

void TForm1::tell(const QString& text)
{
    if (!m_told) {
        m_told = new QMessageBox(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
        m_told->setObjectName(QStringLiteral("refusalBox"));
    }
    m_told->setText(text);
    m_told->open();
    m_told->raise();
}

// ---- alert sound, fixed time, hotkey, stay-on-top, link ------------------------

void TForm1::btnLastOneClick()
{
    const QString path = m_services.chooseSoundFile(this, m_core.alertSound().path());
    if (!path.isEmpty()) // cancelled: nothing changes
        m_core.alertSound().choose(path);
}

void TForm1::chkFixClick()
{
    const bool on = ui->chkFix->isChecked();
    ui->cbbFixHour->setEnabled(on);
    ui->cbbFixMin->setEnabled(on);
}

void TForm1::cbbKeyChange()
{
    if (m_hotkey)
        m_hotkey->rebind();
}

void TForm1::chkDispTopClick()
{
    m_placer->applyStaysOnTop();
}

void TForm1::lbl8Click()
{
    m_services.openUrl(QUrl(m_services.serverBase + QStringLiteral("/showsoft.asp?id=101")));
}
