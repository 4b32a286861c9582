#pragma once

#include <QString>
#include <memory>

class QFileDialog;
class QWidget;

namespace hy {

// The file dialog for the alert sound (dlgOpen1): only an existing file, WAV
// files offered, opening in the folder of the sound chosen now (`current`),
// or in the user's home folder when there is none, never in the program's
// working directory.
std::unique_ptr<QFileDialog> makeSoundDialog(QWidget* parent, const QString& current);

// Shows that dialog; the chosen path, or empty when cancelled.
QString chooseSoundFile(QWidget* parent, const QString& current);

// The folder dialog for the voice pack, opening in the folder chosen now or
// in the home folder; the chosen folder, or empty when cancelled.
QString chooseVoiceFolder(QWidget* parent, const QString& current);

} // namespace hy
