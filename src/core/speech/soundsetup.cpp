#include "core/speech/soundsetup.h"

#include "core/log.h"
#include "core/quiethours.h"
#include "core/settings/settingsstore.h"
#include "core/speech/speechoutput.h"
#include "core/speech/voicepack.h"

#include <QCoreApplication>
#include <QPointer>

namespace hy {

SoundSetup::SoundSetup(SettingsStore& settings, SpeechOutput& speech, OutputsFactory makeOutputs,
                       QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_speech(speech)
    , m_makeOutputs(std::move(makeOutputs))
{
    settings.watch(QStringLiteral("Volume"), this, [this] {
        const int percent = m_settings.number(QStringLiteral("Volume"));
        // A level that came from the mixer is the stream's already.
        if (percent != std::exchange(m_mixerVolume, -1))
            m_speech.setVolume(percent);
    });
    settings.watch(QStringLiteral("Output"), this,
                   [this] { m_speech.setOutput(m_settings.value(QStringLiteral("Output"))); });
    settings.watch(QStringLiteral("VoiceFolder"), this, [this] {
        const QString folder = m_settings.value(QStringLiteral("VoiceFolder"));
        if (folder == m_voiceFolder)
            return;
        if (folder.isEmpty())
            useBuiltinVoice();
        else
            loadVoice(folder, false);
    });
    // A level set in the desktop's mixer is told on the announcer thread;
    // the speech output may outlive this object (a thread stuck in the sound
    // server), so only one still there takes it.
    m_speech.setVolumeListener([self = QPointer<SoundSetup>(this)](int percent) {
        QMetaObject::invokeMethod(
            qApp,
            [self, percent] {
                if (self)
                    self->volumeFromMixer(percent);
            },
            Qt::QueuedConnection);
    });
}

SoundSetup::~SoundSetup() = default;

void SoundSetup::restore()
{
    m_speech.setVolume(m_settings.number(QStringLiteral("Volume")));
    const QString output = m_settings.value(QStringLiteral("Output"));
    m_speech.setOutput(output);
    // A stored output is watched from the start, so that its absence is known.
    if (!output.isEmpty())
        watchOutputs();
    // A remembered folder that is gone or holds no clip counts as no choice:
    // the built-in voice speaks.
    const QString folder = m_settings.value(QStringLiteral("VoiceFolder"));
    if (!folder.isEmpty() && folder != m_voiceFolder && !m_voiceLoading)
        loadVoice(folder, false);
}

void SoundSetup::volumeFromMixer(int percent)
{
    m_speech.keepVolume(percent);
    m_mixerVolume = percent;
    m_settings.set(QStringLiteral("Volume"), QString::number(percent));
    m_mixerVolume = -1;
}

bool SoundSetup::quietAt(const QTime& now) const
{
    return isQuiet({m_settings.flag(QStringLiteral("IsQuiet")),
                    m_settings.time(QStringLiteral("QuietFrom")),
                    m_settings.time(QStringLiteral("QuietTo"))},
                   now);
}

void SoundSetup::watchOutputs()
{
    if (m_outputList || !m_makeOutputs)
        return;
    m_outputList = m_makeOutputs();
    if (!m_outputList)
        return;
    m_outputList->watch([this](const OutputList& list) {
        m_outputs = list;
        // An empty list means no sound server, which says nothing of the device.
        m_outputsKnown = !list.empty();
        emit outputsChanged();
    });
}

void SoundSetup::chooseVoice(const QString& folder)
{
    loadVoice(folder, true);
}

void SoundSetup::useBuiltinVoice()
{
    ++m_voiceTicket; // a folder being read no longer counts
    m_voiceLoading = false;
    m_voiceFolder.clear();
    m_voiceTaken = 0;
    m_voiceProblems.clear();
    m_speech.voice().clear();
    m_settings.set(QStringLiteral("VoiceFolder"), QString());
    emit voiceChanged();
}

void SoundSetup::loadVoice(const QString& folder, bool chosen)
{
    const quint64 ticket = ++m_voiceTicket;
    m_voiceLoading = true;
    emit voiceChanged();
    loadVoicePackInBackground(folder).then(this, [this, folder, chosen, ticket](VoicePack pack) {
        if (ticket != m_voiceTicket)
            return;
        m_voiceLoading = false;
        if (pack.error.isEmpty() && pack.taken == 0)
            pack.error = QStringLiteral("文件夹“%1”中没有可用的语音文件（WAV0.wav 至 WAV22.wav）。")
                             .arg(folder) +
                         (pack.problems.isEmpty() ? QString()
                                                  : QLatin1Char('\n') + pack.problems.join('\n'));
        if (!pack.error.isEmpty()) {
            if (chosen) {
                emit voiceChanged(); // the voice in use stays
                emit voiceRefused(pack.error);
            } else {
                qCWarning(lcSound, "the voice pack is not used: %s", qPrintable(pack.error));
                useBuiltinVoice();
            }
            return;
        }
        m_voiceFolder = folder;
        m_voiceTaken = pack.taken;
        m_voiceProblems = pack.problems;
        m_speech.voice().replace(std::move(pack.clips));
        m_settings.set(QStringLiteral("VoiceFolder"), folder);
        emit voiceChanged();
    });
}

} // namespace hy
