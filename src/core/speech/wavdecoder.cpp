#include "core/speech/wavdecoder.h"

#include "core/log.h"
#include "core/runtimelibrary.h"

#include <QIODevice>
#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace hy {

namespace {

// Codecs whose natural output is floating point. Their 16-bit conversion in
// libsndfile either truncates to the integer part or rescales to the file's
// peak, so they are read as float and converted here.
bool decodesToFloat(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
    case SF_FORMAT_OPUS:
    case SF_FORMAT_MPEG_LAYER_I:
    case SF_FORMAT_MPEG_LAYER_II:
    case SF_FORMAT_MPEG_LAYER_III:
        return true;
    default:
        return false;
    }
}

// libsndfile, loaded when a sound is first decoded: with its codecs it is a
// dozen libraries that a program which has not spoken yet does without.
struct SndfileApi
{
    decltype(&::sf_open_virtual) open_virtual = nullptr;
    decltype(&::sf_close) close = nullptr;
    decltype(&::sf_readf_short) readf_short = nullptr;
    decltype(&::sf_readf_float) readf_float = nullptr;
    decltype(&::sf_strerror) strerror = nullptr;
    QString error;
};

const SndfileApi& sndfile()
{
    static const SndfileApi api = [] {
        SndfileApi a;
        RuntimeLibrary library(QStringLiteral("sndfile"), 1);
        library.resolve(a.open_virtual, "sf_open_virtual");
        library.resolve(a.close, "sf_close");
        library.resolve(a.readf_short, "sf_readf_short");
        library.resolve(a.readf_float, "sf_readf_float");
        library.resolve(a.strerror, "sf_strerror");
        if (!library.isUsable()) {
            a.error = library.error();
            a.open_virtual = nullptr;
            qCWarning(lcSound, "cannot decode sounds: %s", qPrintable(a.error));
        }
        return a;
    }();
    return api;
}

qint16 toInt16(float v)
{
    if (!(v == v)) // NaN
        return 0;
    const float scaled = std::nearbyint(v * 32768.0f);
    return static_cast<qint16>(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

WavDecoder::WavDecoder(QByteArrayView image)
{
    m_source.data = image.data();
    m_source.size = image.size();
    if (image.isEmpty()) {
        m_error = QStringLiteral("the sound is empty");
        return;
    }
    open();
}

WavDecoder::WavDecoder(QIODevice& device)
{
    m_source.device = &device;
    m_source.size = device.size();
    if (m_source.size <= 0 || !device.isReadable() || device.isSequential()) {
        m_error = QStringLiteral("the sound is empty");
        return;
    }
    device.seek(0);
    open();
}

void WavDecoder::open()
{
    // The lambdas live in a member function so they may use the private Source.
    static SF_VIRTUAL_IO io = {
        [](void* user) -> sf_count_t { return static_cast<Source*>(user)->size; },
        [](sf_count_t offset, int whence, void* user) -> sf_count_t {
            auto* src = static_cast<Source*>(user);
            sf_count_t base = 0;
            switch (whence) {
            case SEEK_SET:
                base = 0;
                break;
            case SEEK_CUR:
                base = src->pos;
                break;
            case SEEK_END:
                base = src->size;
                break;
            default:
                return -1;
            }
            const sf_count_t target = base + offset;
            if (target < 0)
                return -1;
            // Seeking past the end is allowed; reads there simply return 0.
            src->pos = target;
            return target;
        },
        [](void* ptr, sf_count_t count, void* user) -> sf_count_t {
            auto* src = static_cast<Source*>(user);
            if (count <= 0 || src->pos >= src->size)
                return 0;
            const sf_count_t n = std::min<sf_count_t>(count, src->size - src->pos);
            if (src->device) {
                if (src->device->pos() != src->pos && !src->device->seek(src->pos))
                    return 0;
                const qint64 got = src->device->read(static_cast<char*>(ptr), n);
                src->pos += std::max<qint64>(0, got);
                return std::max<qint64>(0, got);
            }
            std::memcpy(ptr, src->data + src->pos, static_cast<size_t>(n));
            src->pos += n;
            return n;
        },
        [](const void*, sf_count_t, void*) -> sf_count_t { return 0; }, // read-only
        [](void* user) -> sf_count_t { return static_cast<Source*>(user)->pos; },
    };

    const SndfileApi& sf = sndfile();
    if (!sf.open_virtual) {
        m_error = sf.error;
        return;
    }
    SF_INFO info{};
    m_file = sf.open_virtual(&io, SFM_READ, &info, &m_source);
    if (!m_file) {
        m_error = QString::fromLocal8Bit(sf.strerror(nullptr));
        return;
    }
    if (info.channels < 1 || info.samplerate < 1 || info.frames < 0) {
        m_error = QStringLiteral("the sound has no valid sample format");
        sndfile().close(m_file);
        m_file = nullptr;
        return;
    }
    m_format = {info.samplerate, info.channels};
    m_frames = info.frames;
    m_readFloat = decodesToFloat(info.format);
}

WavDecoder::~WavDecoder()
{
    if (m_file)
        sndfile().close(m_file);
}

bool WavDecoder::isValid() const
{
    return m_file != nullptr;
}

AudioFormat WavDecoder::format() const
{
    return m_format;
}

qint64 WavDecoder::frameCount() const
{
    return m_frames;
}

QString WavDecoder::errorString() const
{
    return m_error;
}

qint64 WavDecoder::readFrames(qint16* interleaved, qint64 maxFrames)
{
    if (!m_file || !interleaved || maxFrames <= 0)
        return 0;
    if (!m_readFloat)
        return std::max<sf_count_t>(0, sndfile().readf_short(m_file, interleaved, maxFrames));

    std::array<float, 2048> buffer;
    const qint64 channels = m_format.channels;
    const qint64 chunkFrames = std::max<qint64>(1, qint64(buffer.size()) / channels);
    if (chunkFrames * channels > qint64(buffer.size()))
        return 0; // more channels than the scratch buffer holds for one frame
    qint64 done = 0;
    while (done < maxFrames) {
        const qint64 want = std::min(chunkFrames, maxFrames - done);
        const sf_count_t got = sndfile().readf_float(m_file, buffer.data(), want);
        if (got <= 0)
            break;
        const qint64 samples = got * channels;
        qint16* out = interleaved + done * channels;
        for (qint64 i = 0; i < samples; ++i)
            out[i] = toInt16(buffer[size_t(i)]);
        done += got;
        if (got < want)
            break;
    }
    return done;
}

bool WavDecoder::canDecode(QByteArrayView image)
{
    WavDecoder decoder(image);
    if (!decoder.isValid())
        return false;
    constexpr qint64 kChunkFrames = 512;
    std::vector<qint16> chunk(size_t(decoder.format().channels) * kChunkFrames);
    return decoder.readFrames(chunk.data(), kChunkFrames) > 0;
}

} // namespace hy
