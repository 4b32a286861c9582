#pragma once

#include <QByteArrayView>
#include <QString>
#include <algorithm>

class QIODevice;
struct sf_private_tag;

namespace hy {

struct AudioFormat
{
    int sampleRate = 0;
    int channels = 0;
    bool operator==(const AudioFormat&) const = default;
};

// Decodes a complete sound file image (WAV or anything else libsndfile reads)
// where it lies in memory, to 16-bit interleaved samples. Nothing is copied and
// nothing is written to disk. Bad or cut-off images give an invalid decoder or
// fewer frames; reads never go past the end of the image.
class WavDecoder
{
public:
    explicit WavDecoder(QByteArrayView image); // the bytes must outlive the decoder
    // Decodes from an open, seekable device (a file) as far as it is read: a
    // look at the format and length reads only the header.
    explicit WavDecoder(QIODevice& device);
    ~WavDecoder();

    WavDecoder(const WavDecoder&) = delete;
    WavDecoder& operator=(const WavDecoder&) = delete;

    bool isValid() const;
    AudioFormat format() const;
    qint64 frameCount() const;
    // Reads up to maxFrames frames (maxFrames * channels samples); 0 at the end.
    qint64 readFrames(qint16* interleaved, qint64 maxFrames);
    // Why the image could not be opened; empty when it could.
    QString errorString() const;

    // True when the image opens and yields at least one frame, read in the
    // chunks a player reads it in (some damaged files yield a frame only to
    // a read of one).
    static bool canDecode(QByteArrayView image);

    // The most samples the player reads at a time, and so what a check of a
    // sound reads it in: some damaged files yield frames only to reads of
    // some sizes.
    static constexpr qint64 BlockSamples = 16384;
    static qint64 blockFrames(int channels)
    {
        return std::max<qint64>(1, BlockSamples / std::max(1, channels));
    }

private:
    // The image or the device, and the read position of libsndfile's
    // virtual I/O.
    struct Source
    {
        const char* data = nullptr;
        qint64 size = 0;
        qint64 pos = 0;
        QIODevice* device = nullptr;
    };
    void open();

    Source m_source;
    sf_private_tag* m_file = nullptr;
    AudioFormat m_format;
    qint64 m_frames = 0;
    bool m_readFloat = false;
    QString m_error;
};

} // namespace hy
