#include "core/speech/soundfile.h"

#include "core/speech/wavdecoder.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace hy {

namespace {

bool playableFormat(const AudioFormat& format)
{
    return format.channels >= 1 && format.channels <= kMaxOutputChannels &&
           format.sampleRate >= 1 && format.sampleRate <= kMaxOutputRate;
}

// Whether the sound in `file` is longer than `maxMs`, from its header.
bool longerThan(QFile& file, int maxMs, double* seconds)
{
    WavDecoder decoder(file);
    if (!decoder.isValid())
        return false; // the rule of unheardReason() says why
    const AudioFormat format = decoder.format();
    *seconds = double(decoder.frameCount()) / format.sampleRate;
    return decoder.frameCount() > qint64(maxMs) * format.sampleRate / 1000;
}

} // namespace

QString unheardReason(QByteArrayView image, const QString& name)
{
    const QString unplayable = QStringLiteral("“%1”不是可以播放的声音文件。").arg(name);
    WavDecoder decoder(image);
    if (!decoder.isValid() || !playableFormat(decoder.format()))
        return unplayable;
    const qint64 block = WavDecoder::blockFrames(decoder.format().channels);
    std::vector<qint16> samples(size_t(block * decoder.format().channels));
    bool anyFrame = false;
    for (qint64 got; (got = decoder.readFrames(samples.data(), block)) > 0;) {
        anyFrame = true;
        const auto end = samples.begin() + got * decoder.format().channels;
        if (std::any_of(samples.begin(), end, [](qint16 s) { return std::abs(s) > kSilenceLevel; }))
            return {};
    }
    if (!anyFrame)
        return unplayable;
    return QStringLiteral("“%1”里听不到声音，只有静音。").arg(name);
}

LoadedSound readSoundFile(const QString& path, const SoundFileRules& rules)
{
    LoadedSound sound;
    // Opened without waiting (a FIFO put in its place would block the open
    // until a writer came) and judged by what was opened, not by the name.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st = {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int reason = errno;
        if (fd >= 0)
            ::close(fd);
        sound.error = reason == ENOENT
                          ? QStringLiteral("声音文件“%1”不存在。").arg(path)
                          : QStringLiteral("无法读取声音文件“%1”：%2")
                                .arg(path, QString::fromLocal8Bit(std::strerror(reason)));
        return sound;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        sound.error = QStringLiteral("“%1”不是一个普通文件，不能用作提示声音。").arg(path);
        return sound;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        sound.error = QStringLiteral("无法读取声音文件“%1”：%2").arg(path, file.errorString());
        return sound;
    }
    const qint64 size = st.st_size;
    double seconds = 0;
    if (rules.maxMs > 0 && longerThan(file, rules.maxMs, &seconds)) {
        sound.error = rules.tooLong.arg(path).arg(seconds, 0, 'f', 1);
        return sound;
    }
    if (size > rules.maxBytes) {
        sound.error = rules.tooLarge.arg(path).arg(size / (1024 * 1024));
        return sound;
    }
    // What the file needs, and one byte more in case it grew meanwhile.
    file.seek(0);
    QByteArray data = file.read(std::min(size, rules.maxBytes) + 1);
    if (file.error() != QFileDevice::NoError) {
        sound.error = QStringLiteral("无法读取声音文件“%1”：%2").arg(path, file.errorString());
        return sound;
    }
    if (data.size() > rules.maxBytes) {
        sound.error = rules.tooLarge.arg(path).arg(data.size() / (1024 * 1024));
        return sound;
    }
    sound.error = unheardReason(data, path);
    if (sound.error.isEmpty())
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
