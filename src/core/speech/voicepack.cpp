#include "core/speech/voicepack.h"

#include "core/speech/soundfile.h"

#include <QDir>
#include <QFileInfo>

namespace hy {

namespace {

// The clip a file name stands for: "wav<i>.wav" in any letter case, i without
// leading zeros; -1 for any other name.
int clipIndexOf(const QString& fileName)
{
    const QString name = fileName.toLower();
    if (!name.startsWith(QLatin1String("wav")) || !name.endsWith(QLatin1String(".wav")))
        return -1;
    bool ok = false;
    const QString digits = name.mid(3, name.size() - 7);
    const int index = digits.toInt(&ok, 10);
    if (!ok || index < 0 || index >= ClipTable::kClipCount || digits != QString::number(index))
        return -1;
    return index;
}

} // namespace

VoicePack loadVoicePack(const QString& folder)
{
    VoicePack pack;
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        pack.error = QStringLiteral("语音包文件夹“%1”不存在。").arg(folder);
        return pack;
    }
    const QDir dir(folder);
    if (!info.isReadable()) {
        pack.error = QStringLiteral("无法读取语音包文件夹“%1”。").arg(folder);
        return pack;
    }
    // Sorted, so that of two names for one clip (WAV3.wav, wav3.WAV) the
    // same one counts every time.
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        const int index = clipIndexOf(name);
        if (index < 0 || !pack.clips[index].isEmpty())
            continue;
        const LoadedSound sound = readSoundFile(dir.filePath(name));
        if (!sound.ok()) {
            pack.problems << sound.error;
            continue;
        }
        pack.clips[index] = sound.data;
        ++pack.taken;
    }
    return pack;
}

} // namespace hy
