#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;
class ServerTimePanel;

namespace Ui {
class TForm1;
}

namespace hy {

class AppCore;

// The sound half of the page 声音与对时: the volume and its 试听 button, the
// output device, the quiet hours and the voice pack, as the core's sound
// setup holds them.
class SoundPage final : public QObject
{
    Q_OBJECT
public:
    // The folder dialog for the voice pack, given the folder chosen now: the
    // chosen folder, or empty when cancelled.
    using ChooseFolder = std::function<QString(QWidget* parent, const QString& current)>;

    // `serverTime` stands below the group 声音 and moves with it.
    SoundPage(Ui::TForm1& ui, AppCore& core, ServerTimePanel& serverTime, ChooseFolder chooseFolder,
              QWidget* window);
    ~SoundPage() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void wire();
    void showVolume();
    void tryVolume();
    void outputChosen(int index);
    void showOutputs();
    void quietChanged();
    void chooseVoice();
    void showVoice();
    void showAutostart();
    void autostartChosen(bool on);
    // Places the rows of the page from the top down: a row of a message
    // that is not there takes no room, and a message takes the lines it
    // needs; the 对时 group and the options below follow.
    void arrange();

    Ui::TForm1& ui;
    AppCore& m_core;
    ServerTimePanel& m_serverTime;
    ChooseFolder m_chooseFolder;
    QWidget* m_window;
    QString m_outputLabel; // the chosen output's description, once known
};

} // namespace hy
