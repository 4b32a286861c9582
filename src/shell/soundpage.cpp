#include "shell/soundpage.h"
#include "ui_tunemain.h"

#include "core/announce.h"
#include "core/clock.h"
#include "core/inputerror.h"
#include "core/log.h"
#include "core/speech/speechoutput.h"
#include "core/speech/voicepack.h"
#include "core/speech/volume.h"
#include "shell/errorbox.h"
#include "shell/formlook.h"

#include <QCoreApplication>
#include <QPointer>

namespace hy {

SoundPage::SoundPage(Ui::TForm1& ui, SpeechOutput& speech, Services services, QWidget* window)
    : ui(ui)
    , m_speech(speech)
    , m_services(std::move(services))
    , m_window(window)
{
    ui.dtmQuietFrom->setTime(QuietHours{}.from);
    ui.dtmQuietTo->setTime(QuietHours{}.to);
    ui.lblVoiceState->setTextFormat(Qt::PlainText);
    ui.lblOutputState->setTextFormat(Qt::PlainText);
    wire();
    // A level set in the desktop's mixer moves the slider; the page's level
    // then holds for the next phrases. The speech output may outlive the
    // page (a thread stuck in the sound server), so only a page still there
    // is told.
    m_speech.setVolumeListener([page = QPointer<SoundPage>(this)](int percent) {
        QMetaObject::invokeMethod(
            qApp,
            [page, percent] {
                if (page)
                    page->ui.sldVolume->setValue(percent);
            },
            Qt::QueuedConnection);
    });
    quietChanged();
    showOutputs();
    showVoice(0, {});
    if (m_services.outputs)
        m_services.outputs->watch([this](const OutputList& list) { outputsChanged(list); });
}

SoundPage::~SoundPage() = default;

void SoundPage::wire()
{
    const auto on = [this](auto* sender, auto signal, auto handler) {
        connect(sender, signal, this,
                [this, handler](auto... args) { guarded(m_window, [&] { handler(args...); }); });
    };
    on(ui.sldVolume, &QSlider::valueChanged, [this](int v) { volumeChanged(v); });
    on(ui.btnTryVolume, &QPushButton::clicked, [this](bool) { tryVolume(); });
    // Only a user's choice changes the output; a list rebuilt by the program
    // keeps the choice.
    on(ui.cbbOutput, &QComboBox::activated, [this](int index) { outputChosen(index); });
    on(ui.chkQuiet, &QCheckBox::toggled, [this](bool) { quietChanged(); });
    on(ui.btnVoiceFolder, &QPushButton::clicked, [this](bool) { chooseVoice(); });
    on(ui.btnVoiceBuiltin, &QPushButton::clicked, [this](bool) { builtinVoice(); });
}

// ---- volume ------------------------------------------------------------------

void SoundPage::volumeChanged(int percent)
{
    ui.lblVolumeValue->setText(QStringLiteral("%1%").arg(percent));
    m_speech.setVolume(percent);
}

void SoundPage::tryVolume()
{
    const QTime now = m_services.clock ? m_services.clock->timeOfDay() : QTime::currentTime();
    m_speech.post(ClockTime, now.hour() * 1000 + now.minute());
}

// ---- output device -------------------------------------------------------------

void SoundPage::outputChosen(int index)
{
    m_output = ui.cbbOutput->itemData(index).toString();
    m_outputLabel = ui.cbbOutput->itemText(index);
    m_speech.setOutput(m_output);
    showOutputs();
}

void SoundPage::outputsChanged(const OutputList& outputs)
{
    m_outputs = outputs;
    // An empty list means no sound server, which says nothing of the device.
    m_outputsKnown = !outputs.empty();
    showOutputs();
}

void SoundPage::showOutputs()
{
    QComboBox& box = *ui.cbbOutput;
    box.clear();
    box.addItem(QStringLiteral("系统默认"), QString());
    for (const OutputDevice& d : m_outputs) {
        box.addItem(d.description, d.name);
        if (d.name == m_output)
            m_outputLabel = d.description;
    }
    // A chosen output that is not there stays chosen, so that it is used
    // again as soon as it is back; the player says once that it is gone.
    const bool absent = outputMissing(m_output, m_outputs);
    if (absent)
        box.addItem(m_outputsKnown ? QStringLiteral("%1（未连接）")
                                         .arg(m_outputLabel.isEmpty() ? m_output : m_outputLabel)
                                   : m_output,
                    m_output);
    box.setCurrentIndex(std::max(0, box.findData(m_output)));
    box.setToolTip(plainToolTip(box.currentText()));
    ui.lblOutputState->setText(
        absent && m_outputsKnown
            ? QStringLiteral("所选设备未连接，暂用系统默认输出；连接后自动恢复。")
            : QString());
}

// ---- quiet hours -------------------------------------------------------------

void SoundPage::quietChanged()
{
    const bool on = ui.chkQuiet->isChecked();
    ui.dtmQuietFrom->setEnabled(on);
    ui.dtmQuietTo->setEnabled(on);
}

bool SoundPage::quietAt(const QTime& now) const
{
    return isQuiet(settings().quiet, now);
}

// ---- voice pack ----------------------------------------------------------------

void SoundPage::chooseVoice()
{
    if (!m_services.chooseFolder)
        return;
    const QString folder = m_services.chooseFolder(m_window, m_voiceFolder);
    if (folder.isEmpty())
        return; // cancelled: nothing changes
    QString why;
    if (!takeVoice(folder, &why))
        throw InputError(why); // the voice in use stays
}

void SoundPage::builtinVoice()
{
    m_voiceFolder.clear();
    m_speech.voice().clear();
    showVoice(0, {});
}

bool SoundPage::takeVoice(const QString& folder, QString* why)
{
    VoicePack pack = loadVoicePack(folder);
    if (pack.error.isEmpty() && pack.taken == 0)
        pack.error =
            QStringLiteral("文件夹“%1”中没有可用的语音文件（WAV0.wav 至 WAV22.wav）。")
                .arg(folder) +
            (pack.problems.isEmpty() ? QString() : QLatin1Char('\n') + pack.problems.join('\n'));
    if (!pack.error.isEmpty()) {
        *why = pack.error;
        return false;
    }
    m_voiceFolder = folder;
    m_speech.voice().replace(std::move(pack.clips));
    showVoice(pack.taken, pack.problems);
    return true;
}

void SoundPage::showVoice(int taken, const QStringList& problems)
{
    ui.lblVoiceState->setText(
        taken == 0 ? QStringLiteral("使用内置语音")
                   : QStringLiteral("已采用 %1 段录音（共 %2 段）").arg(taken).arg(23));
    QString tip = m_voiceFolder;
    if (!problems.isEmpty())
        tip += QStringLiteral("\n未采用：\n") + problems.join('\n');
    ui.lblVoiceState->setToolTip(plainToolTip(tip));
    ui.btnVoiceBuiltin->setEnabled(taken > 0);
}

// ---- settings --------------------------------------------------------------------

SoundSettings SoundPage::settings() const
{
    SoundSettings s;
    s.volume = ui.sldVolume->value();
    s.output = m_output;
    s.quiet = {ui.chkQuiet->isChecked(), ui.dtmQuietFrom->time(), ui.dtmQuietTo->time()};
    s.voiceFolder = m_voiceFolder;
    return s;
}

QString SoundPage::sectionName() const
{
    return QString::fromLatin1(SoundSettingsSection);
}

void SoundPage::restore(const Lookup& stored)
{
    const SoundSettings s = readSoundSettings(stored);
    ui.sldVolume->setValue(s.volume);
    volumeChanged(s.volume); // also when the slider already stood there
    m_output = s.output;
    m_outputLabel.clear();
    m_speech.setOutput(m_output);
    showOutputs();
    ui.chkQuiet->setChecked(s.quiet.enabled);
    ui.dtmQuietFrom->setTime(s.quiet.from);
    ui.dtmQuietTo->setTime(s.quiet.to);
    quietChanged();
    // A remembered folder that is gone or holds no clip counts as no
    // choice: the built-in voice speaks.
    QString why;
    if (s.voiceFolder.isEmpty() || !takeVoice(s.voiceFolder, &why))
        builtinVoice();
    if (!why.isEmpty())
        qCWarning(lcSound, "the voice pack is not used: %s", qPrintable(why));
}

ISettingsSection::Values SoundPage::values() const
{
    return soundSettingsValues(settings());
}

} // namespace hy
