#include "shell/tunemain.h"
#include "ui_tunemain.h"

#include "core/chime.h"
#include "core/clock.h"
#include "core/countdown/ticksource.h"
#include "shell/errorbox.h"
#include "platform/hotkey/globalhotkey.h"
#include "core/hotkeyname.h"
#include "core/hywebtips.h"
#include "core/inputerror.h"
#include "platform/jpegimage.h"
#include "core/mythread.h"
#include "core/speech/soundfile.h"
#include "core/speech/soundplayer.h"
#include "core/speech/speaker.h"
#include "shell/tickevent.h"
#include "shell/trayicon.h"
#include "shell/windowstate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFont>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>
#include <QWindow>

using namespace hy;

namespace {

// Settings keys and the controls that hold them.
const char* controlForKey(const QString& key)
{
    static const QHash<QString, const char*> map{
        {"hourcounter", "cbbHour"},    {"minutecounter", "cbbMin"},  {"secondcounter", "cbbSec"},
        {"isminutecounter", "chkMin"}, {"lastminute", "cbbLastMin"}, {"perminute", "cbbPerMin"},
        {"issecondcounter", "chkSec"}, {"lastsecond", "cbbLastSec"}, {"persecond", "cbbPerSec"},
        {"islastone", "chkLastOne"},   {"iscircle", "chkCircle"},    {"isdisptop", "chkDispTop"},
        {"ishour", "chkHour"},         {"ishalf", "chkHalf"},        {"isfixtimer", "chkFix"},
        {"fixhour", "cbbFixHour"},     {"fixminute", "cbbFixMin"},   {"isstart", "chkStart"},
        {"hotkey", "cbbKey"},
    };
    return map.value(key.toLower(), "");
}

QFont designFont(int pixels, bool bold = false, bool underline = false)
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

// A hint that shows its text as it stands: tool tips would render anything
// that looks like markup.
QString plainToolTip(const QString& text)
{
    if (text.isEmpty())
        return {};
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}

void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

} // namespace

// Hands the countdown's and chimes' requests to the announcer, if it runs.
class TForm1::AnnouncerSink final : public IAnnounceSink
{
public:
    explicit AnnouncerSink(TForm1& form)
        : m_form(form)
    {}
    void post(int kind, int argument) override
    {
        if (m_form.Announcer)
            m_form.Announcer->post(kind, argument);
    }

private:
    TForm1& m_form;
};

TForm1::TForm1(FormServices services, QWidget* parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TForm1>())
    , m_services(std::move(services))
    , m_sink(std::make_unique<AnnouncerSink>(*this))
    , m_ticks(m_services.makeTickSource(
          [this](quint64 run) { QCoreApplication::postEvent(this, new TickEvent(run)); }))
    , m_countdown(*this, *m_ticks, *m_services.clock, *m_sink)
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
    applyDesignLook();
    trycn1 = new TTrayIcon(this);

    tmrHour = new QTimer(this);
    tmrHour->setObjectName(QStringLiteral("tmrHour"));
    tmrHour->setInterval(60000);
    tmrHour->setTimerType(Qt::PreciseTimer); // keeps its phase minute after minute
    tmr1 = new QTimer(this);
    tmr1->setObjectName(QStringLiteral("tmr1"));
    tmr1->setInterval(15000);
    tmr1->start();

    wireHandlers();
    FormCreate();
}

TForm1::~TForm1()
{
    // Nothing may reach the window or the clips once they are gone.
    m_ticks->stop();
    Announcer.reset(); // stops and joins the thread before the clips and sounds go
    // FormDestroy
    if (m_hotkey)
        m_hotkey->unregisterKey();
    LastWaveData.clear();
}

void TForm1::applyDesignLook()
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(544, 362);
    setWindowIcon(QIcon(QStringLiteral(":/hytune.png")));

    QPalette face = palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    setPalette(face);
    setAutoFillBackground(true);

    ui->lblMinTick->setFont(designFont(24, true));
    setTextColour(ui->lblMinTick, Qt::red);
    ui->lblCount->setFont(designFont(16));
    setTextColour(ui->lblCount, Qt::blue);
    ui->lbl1->setFont(designFont(14));
    ui->lbl2->setFont(designFont(12));
    ui->lbl14->setFont(designFont(12));
    ui->lbl8->setFont(designFont(12));
    setTextColour(ui->lbl8, Qt::blue);
    ui->lblTips->setFont(designFont(13, false, true));

    // The last-seconds box starts with no entry chosen and the text 30.
    ui->cbbLastSec->setCurrentIndex(-1);
    ui->cbbLastSec->setEditText(QStringLiteral("30"));

    // The about picture is decoded when its page is first shown, not at start.
    connect(ui->pgc1, &QTabWidget::currentChanged, this, [this] {
        if (ui->pgc1->currentWidget() == ui->ts2)
            showAboutPicture();
    });
}

void TForm1::showAboutPicture()
{
    if (!ui->img1->pixmap().isNull())
        return;
    // Shown at the size of its box: decoded at a fraction of its 800 x 920
    // pixels, then brought to the box's size.
    QFile picture(QStringLiteral(":/about.jpg"));
    if (picture.open(QIODevice::ReadOnly)) {
        const QSize box = ui->img1->size();
        const QImage image = decodeJpeg(picture.readAll(), box);
        if (!image.isNull())
            ui->img1->setPixmap(QPixmap::fromImage(
                image.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    }
}

template <typename F>
void TForm1::guarded(F&& handler)
{
    try {
        handler();
    } catch (...) {
        showErrorBox(this, currentExceptionText());
    }
}

void TForm1::wireHandlers()
{
    const auto on = [this](auto* sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { guarded([&] { (this->*handler)(); }); });
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
    on(tmrHour, &QTimer::timeout, &TForm1::tmrHourTimer);
    on(tmr1, &QTimer::timeout, &TForm1::tmr1Timer);
    ui->lbl8->installEventFilter(this);
    ui->lblTips->installEventFilter(this);
}

// ---- life --------------------------------------------------------------------

void TForm1::FormCreate()
{
    guarded([this] {
        LoadSettings();
        m_services.loadClips(Clips);
        // The announcer starts only once every clip is in the table.
        m_player = m_services.makePlayer();
        m_speaker = std::make_unique<Speaker>(Clips, LastWaveData, *m_player);
        ISoundPlayer* player = m_player.get();
        Announcer = std::make_unique<TMyThread>(
            [speaker = m_speaker.get()](int kind, int arg) { speaker->speak(kind, arg); },
            [player] { player->abort(); });
        Announcer->Resume();
        applyChimeRule();
        registerHotkey();
    });
}

void TForm1::FormClose()
{
    // A countdown still running stops here, so that no tick outlives the window.
    m_ticks->stop();
    if (Announcer)
        Announcer->stop(); // cuts off the phrase in progress and waits for the thread
    Clips.release();
    SaveSettings();
    WebTips.reset();
}

void TForm1::closeEvent(QCloseEvent* e)
{
    if (!m_closed) {
        m_closed = true;
        guarded([this] { FormClose(); });
    }
    e->accept();
}

void TForm1::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    if (e->spontaneous())
        return;
    // Before the window is mapped, so that the window manager takes it with
    // the window.
    setStaysOnTop(this, ui->chkDispTop->isChecked());
    if (!m_centred)
        centreOnScreen();
    m_justShown = true;
    if (QWindow* window = windowHandle())
        window->installEventFilter(this);
}

void TForm1::centreOnScreen()
{
    const QScreen* screen = this->screen();
    if (!screen)
        return;
    // The window manager's frame counts; it is known once the window is framed.
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect area = screen->availableGeometry();
    const QSize outer = size().grownBy(frame);
    const QPoint outerTopLeft(area.x() + (area.width() - outer.width()) / 2,
                              area.y() + (area.height() - outer.height()) / 2);
    setGeometry(QRect(outerTopLeft + QPoint(frame.left(), frame.top()), size()));
}

bool TForm1::event(QEvent* e)
{
    if (e->type() == TickEvent::kType) {
        const quint64 run = static_cast<TickEvent*>(e)->run;
        guarded([&] { tmrSecTimer(run); });
        return true;
    }
    return QWidget::event(e);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == windowHandle() && windowHandle()->isExposed()) {
        const QEvent::Type type = e->type();
        // On the screen now. A window that went to the tray and came back
        // straight away may have lost its stay-on-top state to the window
        // manager's clean-up of the old mapping: it is asked for once more.
        if (type == QEvent::Expose && m_justShown) {
            m_justShown = false;
            setStaysOnTop(this, ui->chkDispTop->isChecked());
        }
        // The first centring could not count the frame the window manager puts
        // around the window; once the frame is there, it is done again with it.
        if (!m_centred &&
            (type == QEvent::Expose || type == QEvent::Move || type == QEvent::Resize) &&
            !windowHandle()->frameMargins().isNull()) {
            m_centred = true;
            centreOnScreen();
        }
    }
    if (e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        if (watched == ui->lbl8)
            guarded([this] { lbl8Click(); });
        else if (watched == ui->lblTips)
            guarded([this] { lblTipsClick(); });
    }
    return QWidget::eventFilter(watched, e);
}

// ---- settings ----------------------------------------------------------------

void TForm1::LoadSettings()
{
    m_services.loadSettings(static_cast<ISettingsTarget&>(*this));
}

bool TForm1::SaveSettings()
{
    return m_services.saveSettings(static_cast<const ISettingsTarget&>(*this));
}

QStringList TForm1::entries(const QString& key) const
{
    QStringList items;
    if (const auto* box = findChild<QComboBox*>(QLatin1String(controlForKey(key)))) {
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
    }
    return items;
}

void TForm1::selectEntry(const QString& key, int index)
{
    if (auto* box = findChild<QComboBox*>(QLatin1String(controlForKey(key))))
        box->setCurrentIndex(index);
}

void TForm1::setText(const QString& key, const QString& text)
{
    if (auto* box = findChild<QComboBox*>(QLatin1String(controlForKey(key))))
        box->setEditText(text);
}

void TForm1::setChecked(const QString& key, bool on)
{
    if (auto* box = findChild<QCheckBox*>(QLatin1String(controlForKey(key))))
        box->setChecked(on);
}

void TForm1::applyCycleCounterRule()
{
    chkCircleClick();
}

void TForm1::setStartTime(const QTime& time)
{
    ui->dtmpckrStart->setTime(time);
}

QString TForm1::text(const QString& key) const
{
    if (const auto* box = findChild<QComboBox*>(QLatin1String(controlForKey(key))))
        return box->currentText();
    return {};
}

bool TForm1::isChecked(const QString& key) const
{
    const auto* box = findChild<QCheckBox*>(QLatin1String(controlForKey(key)));
    return box && box->isChecked();
}

QString TForm1::waveFile() const
{
    return LastWaveFile;
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
    LastWaveData.replace(sound.data);
    ui->btnLastOne->setToolTip(plainToolTip(LastWaveFile));
}

// ---- countdown ---------------------------------------------------------------

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
    switch (box) {
    case CountdownBox::MinuteCount:
        return ui->chkMin->isChecked();
    case CountdownBox::SecondCount:
        return ui->chkSec->isChecked();
    case CountdownBox::LastOne:
        return ui->chkLastOne->isChecked();
    case CountdownBox::Circle:
        return ui->chkCircle->isChecked();
    case CountdownBox::StartTime:
        return ui->chkStart->isChecked();
    }
    return false;
}

QString TForm1::fieldText(CountdownField field) const
{
    switch (field) {
    case CountdownField::Hour:
        return ui->cbbHour->currentText();
    case CountdownField::Minute:
        return ui->cbbMin->currentText();
    case CountdownField::Second:
        return ui->cbbSec->currentText();
    case CountdownField::LastMinute:
        return ui->cbbLastMin->currentText();
    case CountdownField::PerMinute:
        return ui->cbbPerMin->currentText();
    case CountdownField::LastSecond:
        return ui->cbbLastSec->currentText();
    case CountdownField::PerSecond:
        return ui->cbbPerSec->currentText();
    }
    return {};
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
}

void TForm1::showCycleCount(int count)
{
    ui->lblCount->setText(QString::number(count));
}

void TForm1::showRunning(bool running)
{
    ui->btnMinStart->setEnabled(!running);
    ui->btnStop->setEnabled(running);
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
    const QString path = m_services.chooseSoundFile(this);
    if (path.isEmpty())
        return; // cancelled: nothing changes
    const LoadedSound sound = readSoundFile(path);
    if (!sound.ok())
        throw InputError(sound.error); // the previous sound stays
    LastWaveFile = path;
    LastWaveData.replace(sound.data);
    ui->btnLastOne->setToolTip(plainToolTip(LastWaveFile));
}

// ---- chimes ------------------------------------------------------------------

void TForm1::applyChimeRule()
{
    const bool want = chimeTimerWanted(
        {ui->chkHour->isChecked(), ui->chkHalf->isChecked(), ui->chkFix->isChecked(), {}, {}});
    // Switching to the state it already has leaves a running timer's phase alone.
    if (want && !tmrHour->isActive())
        tmrHour->start();
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
    if (const auto due = chimeDue(choice, m_services.clock->timeOfDay()))
        m_sink->post(ClockTime, *due);
}

// ---- hotkey and stay-on-top --------------------------------------------------

void TForm1::registerHotkey()
{
    if (!m_hotkey) {
        m_hotkey = m_services.makeHotkey();
        connect(m_hotkey.get(), &GlobalHotkey::pressed, this,
                [this] { guarded([this] { hotKeyToggle(); }); });
        connect(m_hotkey.get(), &GlobalHotkey::statusChanged, this, &TForm1::reportHotkeyState);
    }
    const int key = hotkeyFunctionNumber(ui->cbbKey->currentText());
    if (key > 0)
        m_hotkey->registerKey(key);
    reportHotkeyState(); // a backend may know its answer at once
}

void TForm1::reportHotkeyState()
{
    // Said without a box in the way: the hint of the key box, and once by
    // the tray icon.
    const QString problem = m_hotkey->problem();
    ui->cbbKey->setToolTip(problem);
    if (!problem.isEmpty() && problem != m_reportedHotkeyProblem)
        trycn1->notify(problem);
    m_reportedHotkeyProblem = problem;
}

void TForm1::cbbKeyChange()
{
    if (m_hotkey)
        m_hotkey->unregisterKey();
    registerHotkey();
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
    setStaysOnTop(this, ui->chkDispTop->isChecked());
}

void TForm1::lbl8Click()
{
    m_services.openUrl(QUrl(m_services.serverBase + QStringLiteral("/showsoft.asp?id=101")));
}

// ---- tips --------------------------------------------------------------------

void TForm1::tmr1Timer()
{
    if (!TipsLoaded) {
        // Only the first firing fetches the list; it arrives in the background.
        TipsLoaded = true;
        WebTips = std::make_unique<hyWebTips>(
            QUrl(m_services.serverBase + QStringLiteral("/tips.asp")), m_services.tipsCachePath);
        connect(WebTips.get(), &hyWebTips::cacheWriteFailed, this, [this](const QString& message) {
            QMetaObject::invokeMethod(
                this, [this, message] { showErrorBox(this, message); }, Qt::QueuedConnection);
        });
    }
    if (!WebTips->isFinished())
        return;
    const std::optional<Tip> tip = WebTips->randomTip();
    if (!tip)
        return;
    ui->lblTips->setText(tip->text + QStringLiteral(" >>"));
    ui->lblTips->adjustSize();
    ui->lblTips->setToolTip(plainToolTip(tip->text));
    TipLink = tip->link;
}

void TForm1::lblTipsClick()
{
    // Only web pages: a tip from the network must never open a local file or
    // run anything.
    if (hyWebTips::isSafeLink(TipLink))
        m_services.openUrl(QUrl(TipLink));
}
