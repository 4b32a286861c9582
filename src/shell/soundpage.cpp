#include "shell/soundpage.h"
#include "ui_tunemain.h"

#include "core/announce.h"
#include "core/app/appcore.h"
#include "core/autostart.h"
#include "core/inputerror.h"
#include "core/speech/soundsetup.h"
#include "shell/accessible.h"
#include "shell/errorbox.h"
#include "shell/formlook.h"
#include "shell/servertimepanel.h"

namespace hy {

namespace {
const QString kOutput = QStringLiteral("Output");
}

SoundPage::SoundPage(Ui::TForm1& ui, AppCore& core, ServerTimePanel& serverTime,
                     ChooseFolder chooseFolder, QWidget* window)
    : ui(ui)
    , m_core(core)
    , m_serverTime(serverTime)
    , m_chooseFolder(std::move(chooseFolder))
    , m_window(window)
{
    for (QLabel* label : {ui.lblVoiceState, ui.lblOutputState}) {
        label->setTextFormat(Qt::PlainText);
        label->setWordWrap(true);
    }
    wire();
    quietChanged();
    showVolume();
    showOutputs();
    showVoice();
    // The sound server's outputs are asked for once the page is first shown;
    // the start at login is looked up whenever it is.
    ui.ts3->installEventFilter(this);
    connect(&m_serverTime, &ServerTimePanel::heightChanged, this, &SoundPage::arrange);
    arrange();
}

SoundPage::~SoundPage() = default;

void SoundPage::wire()
{
    const auto on = [this](auto* sender, auto signal, auto handler) {
        connect(sender, signal, this,
                [this, handler](auto... args) { guarded(m_window, [&] { handler(args...); }); });
    };
    on(ui.btnTryVolume, &QPushButton::clicked, [this](bool) { tryVolume(); });
    // Only a user's choice changes the output; a list rebuilt by the program
    // keeps the choice.
    on(ui.cbbOutput, &QComboBox::activated, [this](int index) { outputChosen(index); });
    on(ui.chkQuiet, &QCheckBox::toggled, [this](bool) { quietChanged(); });
    on(ui.btnVoiceFolder, &QPushButton::clicked, [this](bool) { chooseVoice(); });
    on(ui.btnVoiceBuiltin, &QPushButton::clicked,
       [this](bool) { m_core.sound().useBuiltinVoice(); });
    on(ui.chkAutostart, &QCheckBox::clicked, [this](bool on) { autostartChosen(on); });
    SettingsStore& settings = m_core.settings();
    settings.watch(QStringLiteral("Volume"), this, [this] { showVolume(); });
    settings.watch(kOutput, this, [this] { showOutputs(); });
    connect(&m_core.sound(), &SoundSetup::outputsChanged, this, &SoundPage::showOutputs);
    connect(&m_core.sound(), &SoundSetup::voiceChanged, this, &SoundPage::showVoice);
    connect(&m_core.sound(), &SoundSetup::voiceRefused, this,
            [this](const QString& why) { showErrorBox(m_window, why); });
}

bool SoundPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui.ts3 && event->type() == QEvent::Show) {
        m_core.sound().watchOutputs();
        showAutostart();
    }
    return QObject::eventFilter(watched, event);
}

namespace {

// Puts widgets side by side at `y`, each at its x, a wrapping label as high
// as its text needs, all centred on the row; hidden ones take no room. The
// row's bottom.
int placeRow(std::initializer_list<std::pair<QWidget*, int>> widgets, int y)
{
    int height = 0;
    for (const auto& [w, x] : widgets) {
        auto* label = qobject_cast<QLabel*>(w);
        if (label && label->wordWrap())
            w->resize(w->width(), label->heightForWidth(w->width()));
        if (!w->isHidden())
            height = std::max(height, w->height());
    }
    for (const auto& [w, x] : widgets)
        w->move(x, y + (height - w->height()) / 2);
    return y + height;
}

} // namespace

void SoundPage::arrange()
{
    // The state of a missing output stands beside its box, which makes room.
    const bool outputState = !ui.lblOutputState->text().isEmpty();
    ui.lblOutputState->setHidden(!outputState);
    ui.cbbOutput->resize(outputState ? 200 : 409, ui.cbbOutput->height());
    int y = placeRow(
        {{ui.lblVolume, 15}, {ui.sldVolume, 66}, {ui.lblVolumeValue, 350}, {ui.btnTryVolume, 410}},
        20);
    y = placeRow({{ui.lblOutput, 15}, {ui.cbbOutput, 98}, {ui.lblOutputState, 305}}, y + 6);
    y = placeRow({{ui.chkQuiet, 15},
                  {ui.dtmQuietFrom, 98},
                  {ui.lblQuietTo, 173},
                  {ui.dtmQuietTo, 194},
                  {ui.lblQuietNote, 272}},
                 y + 6);
    y = placeRow({{ui.lblVoice, 15},
                  {ui.btnVoiceFolder, 98},
                  {ui.btnVoiceBuiltin, 200},
                  {ui.lblVoiceState, 320}},
                 y + 6);
    ui.grpSound->setGeometry(9, 4, 522, y + 7);
    m_serverTime.move(9, ui.grpSound->geometry().bottom() + 5);
    const int below = m_serverTime.geometry().bottom() + 5;
    ui.chkNotifyAtEnd->move(24, below);
    ui.chkAutostart->move(200, below);
}

// ---- start at login ------------------------------------------------------------

void SoundPage::showAutostart()
{
    // The entry may have been made or removed outside the program.
    ui.chkAutostart->setChecked(isAutostartEnabled());
}

void SoundPage::autostartChosen(bool on)
{
    const QString problem = setAutostart(on, QCoreApplication::applicationFilePath());
    showAutostart();
    if (!problem.isEmpty())
        throw InputError(problem);
}

// ---- volume ------------------------------------------------------------------

void SoundPage::showVolume()
{
    showText(*ui.lblVolumeValue,
             QStringLiteral("%1%").arg(m_core.settings().number(QStringLiteral("Volume"))));
}

void SoundPage::tryVolume()
{
    const QTime now = m_core.clock().timeOfDay();
    m_core.speech().post(ClockTime, now.hour() * 1000 + now.minute());
}

// ---- output device -------------------------------------------------------------

void SoundPage::outputChosen(int index)
{
    m_outputLabel = ui.cbbOutput->itemText(index);
    m_core.settings().set(kOutput, ui.cbbOutput->itemData(index).toString());
}

void SoundPage::showOutputs()
{
    const QString chosen = m_core.settings().value(kOutput);
    const OutputList& outputs = m_core.sound().outputs();
    const bool known = m_core.sound().outputsKnown();
    QComboBox& box = *ui.cbbOutput;
    box.clear();
    box.addItem(QStringLiteral("系统默认"), QString());
    for (const OutputDevice& d : outputs) {
        box.addItem(d.description, d.name);
        if (d.name == chosen)
            m_outputLabel = d.description;
    }
    // A chosen output that is not there stays chosen, so that it is used
    // again as soon as it is back; the player says once that it is gone.
    const bool absent = outputMissing(chosen, outputs);
    if (absent)
        box.addItem(known ? QStringLiteral("%1（未连接）")
                                .arg(m_outputLabel.isEmpty() ? chosen : m_outputLabel)
                          : chosen,
                    chosen);
    box.setCurrentIndex(std::max(0, box.findData(chosen)));
    box.setToolTip(plainToolTip(box.currentText()));
    showText(*ui.lblOutputState,
             absent && known ? QStringLiteral("所选设备未连接，暂用系统默认输出；连接后自动恢复。")
                             : QString());
    arrange();
}

// ---- quiet hours -------------------------------------------------------------

void SoundPage::quietChanged()
{
    const bool on = ui.chkQuiet->isChecked();
    ui.dtmQuietFrom->setEnabled(on);
    ui.dtmQuietTo->setEnabled(on);
}

// ---- voice pack ----------------------------------------------------------------

void SoundPage::chooseVoice()
{
    if (!m_chooseFolder)
        return;
    const QString folder =
        m_chooseFolder(m_window, m_core.settings().value(QStringLiteral("VoiceFolder")));
    if (!folder.isEmpty()) // cancelled: nothing changes
        m_core.sound().chooseVoice(folder);
}

void SoundPage::showVoice()
{
    const SoundSetup& sound = m_core.sound();
    const int taken = sound.voiceClipsTaken();
    showText(*ui.lblVoiceState,
             sound.voiceLoading() ? QStringLiteral("正在读取语音包……")
             : taken == 0         ? QStringLiteral("使用内置语音")
                          : QStringLiteral("已采用 %1 段录音（共 %2 段）").arg(taken).arg(23));
    QString tip = m_core.settings().value(QStringLiteral("VoiceFolder"));
    if (!sound.voiceProblems().isEmpty())
        tip += QStringLiteral("\n未采用：\n") + sound.voiceProblems().join('\n');
    ui.lblVoiceState->setToolTip(plainToolTip(tip));
    ui.btnVoiceBuiltin->setEnabled(taken > 0);
    arrange();
}

} // namespace hy
