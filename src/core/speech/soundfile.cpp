#include "core/speech/soundfile.h"

#include "core/speech/wavdecoder.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace hy {

bool isAudible(QByteArrayView image)
{
    if (!WavDecoder::canDecode(image))
        return false;
    const AudioFormat format = WavDecoder(image).format();
    return format.channels >= 1 && format.channels <= kMaxOutputChannels &&
           format.sampleRate >= 1 && format.sampleRate <= kMaxOutputRate;
}

LoadedSound readSoundFile(const QString& path)
{
    LoadedSound sound;
    const QFileInfo info(path);
    if (!info.exists()) {
        sound.error = QStringLiteral("声音文件“%1”不存在。").arg(path);
        return sound;
    }
    if (!info.isFile()) {
        sound.error = QStringLiteral("“%1”不是一个普通文件，不能用作提示声音。").arg(path);
        return sound;
    }
    if (info.size() > kMaxSoundFileBytes) {
        sound.error = QStringLiteral("声音文件“%1”太大（%2 MiB），提示声音最大 64 MiB。")
                          .arg(path)
                          .arg(info.size() / (1024 * 1024));
        return sound;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        sound.error = QStringLiteral("无法读取声音文件“%1”：%2").arg(path, file.errorString());
        return sound;
    }
    // What the file needs, and one byte more in case it grew meanwhile.
    QByteArray data = file.read(std::min(info.size(), kMaxSoundFileBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        sound.error = QStringLiteral("无法读取声音文件“%1”：%2").arg(path, file.errorString());
        return sound;
    }
    if (data.size() > kMaxSoundFileBytes) {
        sound.error = QStringLiteral("声音文件“%1”太大，提示声音最大 64 MiB。").arg(path);
        return sound;
    }
    if (!isAudible(data)) {
        sound.error = QStringLiteral("“%1”不是可以播放的声音文件。").arg(path);
        return sound;
    }
    sound.data = std::move(data);
    return sound;
}

QString trimControlChars(const QString& path)
{
    qsizetype begin = 0;
    qsizetype end = path.size();
    while (begin < end && path.at(begin).unicode() < 33)
        ++begin;
    while (end > begin && path.at(end - 1).unicode() < 33)
        --end;
    return path.mid(begin, end - begin);
}

} // namespace hy
