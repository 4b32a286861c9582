#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

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

    SoundPage(Ui::TForm1& ui, AppCore& core, ChooseFolder chooseFolder, QWidget* window);
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

    Ui::TForm1& ui;
    AppCore& m_core;
    ChooseFolder m_chooseFolder;
    QWidget* m_window;
    QString m_outputLabel; // the chosen output's description, once known
};

} // namespace hy
