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

    // The voice pack of `folder` replaces the built-in clips it has, once it
    // has been read (on a thread of its own: the window and the speech do not
    // wait for it). A folder that gives no clip keeps the voice in use and is
    // said by voiceRefused().
    void chooseVoice(const QString& folder);
    void useBuiltinVoice();
    bool voiceLoading() const { return m_voiceLoading; }
    int voiceClipsTaken() const { return m_voiceTaken; }
    const QStringList& voiceProblems() const { return m_voiceProblems; }

signals:
    void outputsChanged();
    void voiceChanged();
    // The folder the user chose gives no clip: why, for the user.
    void voiceRefused(const QString& why);

private:
    // Reads the folder in the background; `chosen`: the user's choice now,
    // else the one remembered from before.
    void loadVoice(const QString& folder, bool chosen);
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
    bool m_voiceLoading = false;
    quint64 m_voiceTicket = 0; // of the folder read last: a later choice wins
};

} // namespace hy
