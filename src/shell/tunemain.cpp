#include "shell/tunemain.h"
#include "ui_tunemain.h"

#include "core/chime.h"
#include "core/clock.h"
#include "core/countdown/ticksource.h"
#include "core/inputerror.h"
#include "core/speech/soundfile.h"
#include "platform/hotkey/globalhotkey.h"
#include "shell/errorbox.h"
#include "shell/formlook.h"
#include "shell/hotkeybinding.h"
#include "shell/servertimepanel.h"
#include "shell/soundpage.h"
#include "shell/tickevent.h"
#include "shell/tipsticker.h"
#include "shell/trayicon.h"
#include "shell/windowplacer.h"
#include "shell/windowstate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>

using namespace hy;

TForm1::TForm1(FormServices services, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TForm1>())
    , m_services(std::move(services))
    , m_ticks(m_services.makeTickSource(
          [this](quint64 run) { QCoreApplication::postEvent(this, new TickEvent(run)); }))
    , m_clock(*m_services.clock)
    , m_countdown(*this, *m_ticks, m_clock, m_speech)
    , m_settings(
          *this,
          {[this] { chkCircleClick(); }, [this](const QString& path) { restoreWaveFile(path); },
           [this] { return LastWaveFile; },
           [this] {
               return std::vector<ISettingsSection*>{m_soundPage.get(), &m_serverTime->settings()};
           }})
{
    // The window font first, so the controls are laid out once, in it. The
    // tab pages are built without a parent and only then put in the tab
    // widget: for as long as setupUi runs, the application font is the
    // window's too, or the help text would first be laid out in the desktop
    // font, pulling in a fallback CJK font file for nothing.
    setFont(designFont(16));
    {
        const QFont desktopFont = QApplication::font();
        QApplication::setFont(font());
        ui->setupUi(this);
        QApplication::setFont(desktopFont);
    }
    applyDesignLook(*this, *ui);
    trycn1 = new TTrayIcon(this);
    m_placer = new WindowPlacer(*this, [this] { return ui->chkDispTop->isChecked(); });
    ui->chkDispTop->setToolTip(staysOnTopLimit());
    tmrHour = m_services.makeTimer(this, QStringLiteral("tmrHour"));
    m_serverTime = new ServerTimePanel(m_clock, m_services.makeTimer, ui->ts3);
    m_tips = std::make_unique<TipsTicker>(
        *ui->lblTips, m_services.makeTimer(this, QStringLiteral("tmr1")),
        TipsTicker::Source{QUrl(m_services.serverBase + QStringLiteral("/tips.asp")),
                           m_services.tipsCachePath,
                           m_services.openUrl,
                           {}},
        this);
    m_soundPage = std::make_unique<SoundPage>(
        *ui, m_speech,
        SoundPage::Services{m_services.makeOutputs ? m_services.makeOutputs() : nullptr,
                            m_services.chooseVoiceFolder, &m_clock},
        this);
    wireHandlers();
    FormCreate();
}

TForm1::~TForm1()
{
    // Nothing may reach the window or the clips once they are gone.
    m_ticks->stop();
    m_speech.stop();
    // FormDestroy
    m_hotkey.reset();
    m_speech.userSound().clear();
}

GlobalHotkey* TForm1::hotkey() const
{
    return m_hotkey ? m_hotkey->hotkey() : nullptr;
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
    on(ui->chkHour, &QCheckBox::toggled, &TForm1::chkHourClick);
    on(ui->chkHalf, &QCheckBox::toggled, &TForm1::chkHalfClick);
    on(ui->chkFix, &QCheckBox::toggled, &TForm1::chkFixClick);
    on(ui->chkDispTop, &QCheckBox::toggled, &TForm1::chkDispTopClick);
    // Only a user's choice re-registers the hotkey; a selection made by the
    // program runs nothing.
    on(ui->cbbKey, &QComboBox::activated, &TForm1::cbbKeyChange);
    tmrHour->onTimeout = [this] { guarded(this, [this] { tmrHourTimer(); }); };
    connect(&m_serverTime->keeper(), &ServerTimeKeeper::changed, this, &TForm1::reaimChimes);
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
        LoadSettings();
        m_services.loadClips(m_speech.clips());
        // The announcer starts only once every clip is in the table.
        m_speech.start(m_services.makePlayer());
        applyChimeRule();
        m_hotkey =
            std::make_unique<HotkeyBinding>(m_services.makeHotkey(), *ui->cbbKey, *ui->mmoHelp,
                                            *trycn1, [this] { toggleCountdown(); });
        m_hotkey->bind();
    });
}

void TForm1::FormClose()
{
    // A countdown still running stops here, so that no tick outlives the window.
    m_ticks->stop();
    m_speech.stop(); // cuts off the phrase in progress, waits for the thread, drops the clips
    SaveSettings();
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

bool TForm1::event(QEvent* e)
{
    if (e->type() == TickEvent::kType) {
        const quint64 run = static_cast<TickEvent*>(e)->run;
        guarded(this, [&] { tmrSecTimer(run); });
        return true;
    }
    return QWidget::event(e);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == ui->lbl8 && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
        guarded(this, [this] { lbl8Click(); });
    return QWidget::eventFilter(watched, e);
}

void TForm1::LoadSettings()
{
    m_services.loadSettings(m_settings);
}

bool TForm1::SaveSettings()
{
    return m_services.saveSettings(m_settings);
}

// ---- countdown ---------------------------------------------------------------

void TForm1::startCountdown()
{
    guarded(this, [this] { btnMinStartClick(); });
}

void TForm1::stopCountdown()
{
    guarded(this, [this] { btnStopClick(); });
}

void TForm1::toggleCountdown()
{
    guarded(this, [this] { hotKeyToggle(); });
}

void TForm1::showFromOutside()
{
    trycn1->Restore();
}

void TForm1::btnMinStartClick()
{
    m_countdown.start();
}

void TForm1::btnStopClick()
{
    m_countdown.stop();
}

void TForm1::tmrSecTimer(quint64 run)
{
    m_countdown.tick(run);
}

void TForm1::chkCircleClick()
{
    const bool on = ui->chkCircle->isChecked();
    ui->lblTitle->setVisible(on);
    ui->lblCount->setVisible(on);
}

bool TForm1::isChecked(CountdownBox box) const
{
    // In the order of CountdownBox.
    const QCheckBox* const boxes[] = {ui->chkMin, ui->chkSec, ui->chkLastOne, ui->chkCircle,
                                      ui->chkStart};
    return boxes[int(box)]->isChecked();
}

QString TForm1::fieldText(CountdownField field) const
{
    // In the order of CountdownField.
    const QComboBox* const fields[] = {ui->cbbHour,   ui->cbbMin,     ui->cbbSec,   ui->cbbLastMin,
                                       ui->cbbPerMin, ui->cbbLastSec, ui->cbbPerSec};
    return fields[int(field)]->currentText();
}

QTime TForm1::startTime() const
{
    return ui->dtmpckrStart->time();
}

bool TForm1::hasUserSound() const
{
    return !LastWaveFile.isEmpty();
}

void TForm1::showRemaining(const QString& text)
{
    ui->lblMinTick->setText(text);
    emit countdownChanged();
}

void TForm1::showCycleCount(int count)
{
    ui->lblCount->setText(QString::number(count));
    emit countdownChanged();
}

void TForm1::showRunning(bool running)
{
    ui->btnMinStart->setEnabled(!running);
    ui->btnStop->setEnabled(running);
    emit countdownChanged();
}

void TForm1::showWaiting(const QTime& until)
{
    ui->lblMinTick->setToolTip(
        until.isValid() ? QStringLiteral("等待开始时间 %1").arg(until.toString("H:mm:ss"))
                        : QString());
    emit countdownChanged();
}

void TForm1::refuseStart()
{
    QMessageBox box(QMessageBox::Critical, windowTitle(),
                    QStringLiteral("请选择倒计数条件后再试！"), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("refusalBox"));
    box.exec();
}

// ---- alert sound -------------------------------------------------------------

void TForm1::btnLastOneClick()
{
    const QString path = m_services.chooseSoundFile(this, LastWaveFile);
    if (path.isEmpty())
        return; // cancelled: nothing changes
    const LoadedSound sound = readSoundFile(path);
    if (!sound.ok())
        throw InputError(sound.error); // the previous sound stays
    LastWaveFile = path;
    m_speech.userSound().replace(sound.data);
    ui->btnLastOne->setToolTip(plainToolTip(LastWaveFile));
}

void TForm1::restoreWaveFile(const QString& storedPath)
{
    LastWaveFile = trimControlChars(storedPath);
    LoadedSound sound;
    if (!LastWaveFile.isEmpty())
        sound = readSoundFile(LastWaveFile);
    // A remembered file that is gone or cannot be played counts as no choice,
    // so the alert falls back to the built-in clip.
    if (!sound.ok())
        LastWaveFile.clear();
    m_speech.userSound().replace(sound.data);
    ui->btnLastOne->setToolTip(plainToolTip(LastWaveFile));
}

// ---- chimes ------------------------------------------------------------------

void TForm1::applyChimeRule()
{
    const bool want = chimeTimerWanted(
        {ui->chkHour->isChecked(), ui->chkHalf->isChecked(), ui->chkFix->isChecked(), {}, {}});
    // Switching to the state it already has leaves a running timer alone.
    if (want && !tmrHour->isActive())
        tmrHour->start(msToNextChime(m_clock.timeOfDay(), true), true);
    else if (!want && tmrHour->isActive())
        tmrHour->stop();
}

void TForm1::chkHourClick()
{
    applyChimeRule();
}

void TForm1::chkHalfClick()
{
    applyChimeRule();
}

void TForm1::chkFixClick()
{
    const bool on = ui->chkFix->isChecked();
    ui->cbbFixHour->setEnabled(on);
    ui->cbbFixMin->setEnabled(on);
    applyChimeRule();
}

void TForm1::tmrHourTimer()
{
    const ChimeChoice choice{ui->chkHour->isChecked(), ui->chkHalf->isChecked(),
                             ui->chkFix->isChecked(), ui->cbbFixHour->currentText(),
                             ui->cbbFixMin->currentText()};
    const QTime now = m_clock.timeOfDay();
    // Each firing falls on second 0 of a minute; the next one is aimed anew.
    tmrHour->start(msToNextChime(now, false), true);
    // Quiet hours silence the chimes only; the countdown speaks on.
    const auto due = chimeDue(choice, now);
    if (due && !m_soundPage->quietAt(now))
        m_speech.post(ClockTime, *due);
}

// The chimes fall on second 0 of the time they read; when that time moves
// (the server's offset was measured, switched on or off), the next firing is
// aimed anew.
void TForm1::reaimChimes()
{
    if (tmrHour->isActive())
        tmrHour->start(msToNextChime(m_clock.timeOfDay(), false), true);
}

// ---- hotkey, stay-on-top, link -------------------------------------------------

void TForm1::cbbKeyChange()
{
    if (m_hotkey)
        m_hotkey->rebind();
}

void TForm1::hotKeyToggle()
{
    // Decided by the countdown's real state, so that a press always does what
    // the buttons show.
    if (m_countdown.isActive())
        btnStopClick();
    else
        btnMinStartClick();
}

void TForm1::chkDispTopClick()
{
    m_placer->applyStaysOnTop();
}

void TForm1::lbl8Click()
{
    m_services.openUrl(QUrl(m_services.serverBase + QStringLiteral("/showsoft.asp?id=101")));
}
