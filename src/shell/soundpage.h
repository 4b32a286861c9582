#pragma once

#include "core/settings/soundsettings.h"
#include "core/speech/outputdevices.h"

#include <QObject>
#include <QTime>
#include <functional>
#include <memory>

namespace Ui {
class TForm1;
}

namespace hy {

class IClock;
class SpeechOutput;

// The sound half of the page 声音与对时: the volume and its 试听 button, the
// output device, the quiet hours and the voice pack. Its settings are the
// section Sound of the settings file.
class SoundPage final : public QObject, public ISettingsSection
{
    Q_OBJECT
public:
    struct Services
    {
        std::unique_ptr<IOutputDevices> outputs; // may be null: only the default is offered
        // The folder dialog for the voice pack, given the folder chosen now:
        // the chosen folder, or empty when cancelled.
        std::function<QString(QWidget* parent, const QString& current)> chooseFolder;
        const IClock* clock = nullptr;
    };

    SoundPage(Ui::TForm1& ui, SpeechOutput& speech, Services services, QWidget* window);
    ~SoundPage() override;

    // Whether the clock chimes stay silent at `now`.
    bool quietAt(const QTime& now) const;
    // The settings as the page shows them.
    SoundSettings settings() const;

    // ISettingsSection
    QString sectionName() const override;
    void restore(const Lookup& stored) override;
    Values values() const override;

private:
    void wire();
    void volumeChanged(int percent);
    void tryVolume();
    void outputChosen(int index);
    void outputsChanged(const OutputList& outputs);
    void showOutputs();
    void quietChanged();
    void chooseVoice();
    void builtinVoice();
    // Takes the voice pack of `folder`; false (and the built-in voice stays)
    // when the folder gives no clip.
    bool takeVoice(const QString& folder, QString* why);
    void showVoice(int taken, const QStringList& problems);

    Ui::TForm1& ui;
    SpeechOutput& m_speech;
    Services m_services;
    QWidget* m_window;
    QString m_output; // the chosen device; empty for the default
    QString m_outputLabel;
    OutputList m_outputs;
    bool m_outputsKnown = false;
    QString m_voiceFolder;
};

} // namespace hy
