#pragma once

#include "core/speech/outputdevices.h"

#include <QObject>
#include <QStringList>
#include <QTime>
#include <functional>
#include <memory>

namespace hy {

class SettingsStore;
class SpeechOutput;

// The sound settings at work: the volume and the output of the speech, the
// quiet hours of the chimes, the voice pack, and the sound server's list of
// outputs. Everything here follows the section Sound of the settings.
class SoundSetup final : public QObject
{
    Q_OBJECT
public:
    using OutputsFactory = std::function<std::unique_ptr<IOutputDevices>()>;

    // `makeOutputs` may be empty: only the default output is known then.
    SoundSetup(SettingsStore& settings, SpeechOutput& speech, OutputsFactory makeOutputs,
               QObject* parent = nullptr);
    ~SoundSetup() override;

    // The stored choices take effect (the settings have been read).
    void restore();

    // Whether the clock chimes keep silent at `now`.
    bool quietAt(const QTime& now) const;

    // The sound server's outputs. The list is watched from the first call of
    // watchOutputs() on (the page that shows it is first shown, or an output
    // is stored); empty until then and while there is no sound server.
    void watchOutputs();
    const OutputList& outputs() const { return m_outputs; }
    // Whether the server has listed its outputs (an empty list says nothing).
    bool outputsKnown() const { return m_outputsKnown; }

    // The voice pack of `folder` replaces the built-in clips it has; throws
    // InputError, keeping the voice in use, when the folder gives no clip.
    void chooseVoice(const QString& folder);
    void useBuiltinVoice();
    int voiceClipsTaken() const { return m_voiceTaken; }
    const QStringList& voiceProblems() const { return m_voiceProblems; }

signals:
    void outputsChanged();
    void voiceChanged();

private:
    bool takeVoice(const QString& folder, QString* why);
    void volumeFromMixer(int percent);

    SettingsStore& m_settings;
    SpeechOutput& m_speech;
    OutputsFactory m_makeOutputs;
    std::unique_ptr<IOutputDevices> m_outputList;
    OutputList m_outputs;
    bool m_outputsKnown = false;
    int m_mixerVolume = -1; // the level the mixer set, not to be sent back to it
    QString m_voiceFolder;  // the folder whose clips speak; empty for the built-in voice
    int m_voiceTaken = 0;
    QStringList m_voiceProblems;
};

} // namespace hy
