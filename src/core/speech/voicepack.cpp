#include "core/speech/voicepack.h"

#include "core/speech/soundfile.h"

#include <QDir>
#include <QFileInfo>
#include <QPromise>
#include <QThreadPool>

#include <memory>

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
    SoundFileRules rules;
    rules.maxMs = VoicePack::kMaxClipMs;
    // %1 the file and %2 its length or size are filled in by readSoundFile().
    rules.tooLong = QStringLiteral("“%1”长 %2 秒：语音包的每段录音最长 ") +
                    QString::number(VoicePack::kMaxClipMs / 1000) + QStringLiteral(" 秒。");
    rules.tooLarge = QStringLiteral("“%1”（%2 MiB）放不下：语音包的录音合起来最多 ") +
                     QString::number(VoicePack::kMaxPackBytes / (1024 * 1024)) +
                     QStringLiteral(" MiB。");
    qint64 room = VoicePack::kMaxPackBytes;
    for (const QString& name : names) {
        const int index = clipIndexOf(name);
        if (index < 0 || !pack.clips[index].isEmpty())
            continue;
        rules.maxBytes = room;
        const LoadedSound sound = readSoundFile(dir.filePath(name), rules);
        if (!sound.ok()) {
            pack.problems << sound.error;
            continue;
        }
        pack.clips[index] = sound.data;
        room -= sound.data.size();
        ++pack.taken;
    }
    return pack;
}

QFuture<VoicePack> loadVoicePackInBackground(const QString& folder)
{
    auto promise = std::make_shared<QPromise<VoicePack>>();
    QFuture<VoicePack> future = promise->future();
    promise->start();
    QThreadPool::globalInstance()->start([promise, folder] {
        promise->addResult(loadVoicePack(folder));
        promise->finish();
    });
    return future;
}

} // namespace hy
