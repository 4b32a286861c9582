#include "shell/soundpage.h"
#include "ui_tunemain.h"

#include "core/announce.h"
#include "core/app/appcore.h"
#include "core/speech/soundsetup.h"
#include "shell/errorbox.h"
#include "shell/formlook.h"

namespace hy {

namespace {
const QString kOutput = QStringLiteral("Output");
}

SoundPage::SoundPage(Ui::TForm1& ui, AppCore& core, ChooseFolder chooseFolder, QWidget* window)
    : ui(ui)
    , m_core(core)
    , m_chooseFolder(std::move(chooseFolder))
    , m_window(window)
{
    ui.lblVoiceState->setTextFormat(Qt::PlainText);
    ui.lblOutputState->setTextFormat(Qt::PlainText);
    wire();
    quietChanged();
    showVolume();
    showOutputs();
    showVoice();
    // The sound server's outputs are asked for once the page is first shown.
    ui.ts3->installEventFilter(this);
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
    SettingsStore& settings = m_core.settings();
    settings.watch(QStringLiteral("Volume"), this, [this] { showVolume(); });
    settings.watch(kOutput, this, [this] { showOutputs(); });
    connect(&m_core.sound(), &SoundSetup::outputsChanged, this, &SoundPage::showOutputs);
    connect(&m_core.sound(), &SoundSetup::voiceChanged, this, &SoundPage::showVoice);
}

bool SoundPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ui.ts3 && event->type() == QEvent::Show)
        m_core.sound().watchOutputs();
    return QObject::eventFilter(watched, event);
}

// ---- volume ------------------------------------------------------------------

void SoundPage::showVolume()
{
    ui.lblVolumeValue->setText(
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
    ui.lblOutputState->setText(
        absent && known ? QStringLiteral("所选设备未连接，暂用系统默认输出；连接后自动恢复。")
                        : QString());
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
    ui.lblVoiceState->setText(
        taken == 0 ? QStringLiteral("使用内置语音")
                   : QStringLiteral("已采用 %1 段录音（共 %2 段）").arg(taken).arg(23));
    QString tip = m_core.settings().value(QStringLiteral("VoiceFolder"));
    if (!sound.voiceProblems().isEmpty())
        tip += QStringLiteral("\n未采用：\n") + sound.voiceProblems().join('\n');
    ui.lblVoiceState->setToolTip(plainToolTip(tip));
    ui.btnVoiceBuiltin->setEnabled(taken > 0);
}

} // namespace hy
