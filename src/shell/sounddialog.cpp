#include "shell/sounddialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace hy {

std::unique_ptr<QFileDialog> makeSoundDialog(QWidget* parent, const QString& current)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("请选择声音文件"));
    dialog->setObjectName(QStringLiteral("dlgOpen1"));
    dialog->setFileMode(QFileDialog::ExistingFile); // only an existing file can be chosen
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(QStringLiteral("声音文件(*.wav)"));
    dialog->setDefaultSuffix(QStringLiteral("wav"));
    dialog->setSizeGripEnabled(true);
    const QFileInfo sound(current);
    const QString folder = !current.isEmpty() && sound.absoluteDir().exists() ? sound.absolutePath()
                                                                              : QDir::homePath();
    dialog->setDirectory(folder);
    if (!current.isEmpty() && sound.exists())
        dialog->selectFile(sound.fileName());
    return dialog;
}

QString chooseSoundFile(QWidget* parent, const QString& current)
{
    const auto dialog = makeSoundDialog(parent, current);
    if (dialog->exec() != QDialog::Accepted)
        return {};
    return dialog->selectedFiles().value(0);
}

QString chooseVoiceFolder(QWidget* parent, const QString& current)
{
    const QString start = !current.isEmpty() && QDir(current).exists() ? current : QDir::homePath();
    return QFileDialog::getExistingDirectory(parent, QStringLiteral("请选择语音包文件夹"), start);
}

} // namespace hy
