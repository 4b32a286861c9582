#include "core/speech/cliptable.h"
#include "core/speech/wavdecoder.h"

#include <QRandomGenerator>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

using Samples = QList<qint16>;

namespace {

QByteArray le16(quint16 v)
{
    const char b[2] = {char(v & 0xff), char(v >> 8)};
    return QByteArray(b, 2);
}

QByteArray le32(quint32 v)
{
    const char b[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff),
                       char(v >> 24)};
    return QByteArray(b, 4);
}

// One RIFF chunk, padded to an even length as the format asks.
QByteArray chunk(const char* id, const QByteArray& body)
{
    QByteArray c = QByteArray(id, 4) + le32(quint32(body.size())) + body;
    if (body.size() % 2)
        c.append('\0');
    return c;
}

QByteArray fmtChunk(quint16 tag, quint16 channels, quint32 rate, quint16 bits)
{
    const quint16 align = quint16(channels * bits / 8);
    QByteArray body =
        le16(tag) + le16(channels) + le32(rate) + le32(rate * align) + le16(align) + le16(bits);
    if (tag != 1)
        body += le16(0); // WAVEFORMATEX with no extra bytes
    return chunk("fmt ", body);
}

// A RIFF WAVE image of the given chunks; riffSize overrides the size field.
QByteArray wave(const QByteArrayList& chunks, qint64 riffSize = -1)
{
    const QByteArray body = "WAVE" + chunks.join();
    return "RIFF" + le32(quint32(riffSize >= 0 ? riffSize : body.size())) + body;
}

QByteArray pcm16(const Samples& samples)
{
    QByteArray data;
    for (qint16 s : samples)
        data += le16(quint16(s));
    return data;
}

Samples ramp(int count, int channels = 1)
{
    Samples s;
    for (int i = 0; i < count * channels; ++i)
        s.append(qint16((i * 2731) % 65536 - 32768));
    return s;
}

QByteArray plainWave(const Samples& samples)
{
    return wave({fmtChunk(1, 1, 22050, 16), chunk("data", pcm16(samples))});
}

// Bytes placed so that they end right before an inaccessible page: reading one
// byte past the end crashes the test instead of going unnoticed.
class GuardedBytes
{
public:
    explicit GuardedBytes(const QByteArray& bytes)
    {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        const size_t dataPages = (size_t(bytes.size()) + page - 1) / page;
        m_length = (dataPages + 1) * page;
        void* base =
            mmap(nullptr, m_length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            qFatal("mmap failed");
        m_base = static_cast<char*>(base);
        if (mprotect(m_base + dataPages * page, page, PROT_NONE) != 0)
            qFatal("mprotect failed");
        m_data = m_base + dataPages * page - bytes.size();
        if (!bytes.isEmpty())
            std::memcpy(m_data, bytes.constData(), size_t(bytes.size()));
        m_size = bytes.size();
    }
    ~GuardedBytes() { munmap(m_base, m_length); }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    QByteArrayView view() const { return QByteArrayView(m_data, m_size); }

private:
    char* m_base = nullptr;
    size_t m_length = 0;
    char* m_data = nullptr;
    qsizetype m_size = 0;
};

// Everything the decoder yields, read in small pieces to cross chunk borders.
Samples decodeAll(hy::WavDecoder& decoder, qint64 piece = 7)
{
    Samples out;
    const int channels = decoder.format().channels;
    std::vector<qint16> buffer(size_t(piece * channels));
    for (;;) {
        const qint64 got = decoder.readFrames(buffer.data(), piece);
        if (got <= 0)
            break;
        out.append(Samples(buffer.begin(), buffer.begin() + got * channels));
    }
    return out;
}

// Writes frames with libsndfile's own encoder into a memory image.
struct MemoryFile
{
    QByteArray bytes;
    sf_count_t pos = 0;
};

QByteArray encode(int format, int rate, int channels, const std::vector<float>& frames)
{
    static SF_VIRTUAL_IO io = {
        [](void* u) -> sf_count_t { return static_cast<MemoryFile*>(u)->bytes.size(); },
        [](sf_count_t off, int whence, void* u) -> sf_count_t {
            auto* f = static_cast<MemoryFile*>(u);
            const sf_count_t base = whence == SEEK_SET   ? 0
                                    : whence == SEEK_CUR ? f->pos
                                                         : f->bytes.size();
            f->pos = base + off;
            return f->pos;
        },
        [](void* ptr, sf_count_t n, void* u) -> sf_count_t {
            auto* f = static_cast<MemoryFile*>(u);
            const sf_count_t got =
                std::max<sf_count_t>(0, std::min<sf_count_t>(n, f->bytes.size() - f->pos));
            std::memcpy(ptr, f->bytes.constData() + f->pos, size_t(got));
            f->pos += got;
            return got;
        },
        [](const void* ptr, sf_count_t n, void* u) -> sf_count_t {
            auto* f = static_cast<MemoryFile*>(u);
            if (f->pos + n > f->bytes.size())
                f->bytes.resize(f->pos + n);
            std::memcpy(f->bytes.data() + f->pos, ptr, size_t(n));
            f->pos += n;
            return n;
        },
        [](void* u) -> sf_count_t { return static_cast<MemoryFile*>(u)->pos; },
    };
    MemoryFile file;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (!sf)
        return {};
    sf_writef_float(sf, frames.data(), sf_count_t(frames.size()) / channels);
    sf_close(sf);
    return file.bytes;
}

// Offset and length of the "data" chunk of a well-formed clip.
std::pair<qsizetype, qsizetype> dataChunk(QByteArrayView image)
{
    qsizetype pos = 12;
    while (pos + 8 <= image.size()) {
        const auto* p = reinterpret_cast<const uchar*>(image.data() + pos + 4);
        const qsizetype size = p[0] | p[1] << 8 | p[2] << 16 | qsizetype(p[3]) << 24;
        if (image.sliced(pos, 4) == "data")
            return {pos + 8, size};
        pos += 8 + size + (size & 1);
    }
    return {-1, 0};
}

} // namespace

class TestWavDecoder : public QObject
{
    Q_OBJECT
private slots:
    void decodesImage_data();
    void decodesImage();
    void decodesLibsndfileEncodings_data();
    void decodesLibsndfileEncodings();
    void everyCutOfAnImageIsSafe();
    void mangledHeadersAreSafe();
    void committedClipsDecodeExactly();
};

void TestWavDecoder::decodesImage_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<Samples>("samples");

    const Samples mono = ramp(1000);
    const QByteArray fmt = fmtChunk(1, 1, 22050, 16);
    const QByteArray data = chunk("data", pcm16(mono));
    const QByteArray list =
        chunk("LIST", "INFOISFT" + le32(14) + QByteArray("Lavf58.76.100\0", 14));
    const QByteArray id3 = chunk("id3 ", QByteArray("ID3\x03\0\0\0\0\0\x05tail!", 15)); // odd size

    QTest::newRow("16-bit mono 22050") << plainWave(mono) << true << 22050 << 1 << 1000LL << mono;
    QTest::newRow("LIST and id3 after data")
        << wave({fmt, data, list, id3}) << true << 22050 << 1 << 1000LL << mono;
    QTest::newRow("LIST before data")
        << wave({fmt, list, data}) << true << 22050 << 1 << 1000LL << mono;

    const QByteArray u8 = QByteArray::fromHex("80ff00017f");
    QTest::newRow("8-bit") << wave({fmtChunk(1, 1, 8000, 8), chunk("data", u8)}) << true << 8000
                           << 1 << 5LL << Samples{0, 127 * 256, -128 * 256, -127 * 256, -256};

    const Samples stereo = ramp(300, 2);
    QTest::newRow("stereo 44.1 kHz")
        << wave({fmtChunk(1, 2, 44100, 16), chunk("data", pcm16(stereo))}) << true << 44100 << 2
        << 300LL << stereo;

    QByteArray floats;
    for (float f : {0.5f, -0.25f, 1.0f, -1.0f, 0.0f, 2.0f}) {
        quint32 bits;
        std::memcpy(&bits, &f, 4);
        floats += le32(bits);
    }
    QTest::newRow("32-bit float") << wave({fmtChunk(3, 1, 16000, 32), chunk("data", floats)})
                                  << true << 16000 << 1 << 6LL
                                  << Samples{16384, -8192, 32767, -32768, 0, 32767};

    QTest::newRow("mu-law") << wave({fmtChunk(7, 1, 8000, 8),
                                     chunk("data", QByteArray::fromHex("ff807f00"))})
                            << true << 8000 << 1 << 4LL << Samples{0, 32124, 0, -32124};

    QByteArray s24;
    for (quint32 v : {0x123456u, 0xfedcbau, 0x7fffffu})
        s24 += le32(v).left(3);
    QTest::newRow("24-bit") << wave({fmtChunk(1, 1, 48000, 24), chunk("data", s24)}) << true
                            << 48000 << 1 << 3LL << Samples{0x1234, qint16(0xfedc), 0x7fff};

    QTest::newRow("RIFF size too small")
        << wave({fmt, data}, 4) << true << 22050 << 1 << 1000LL << mono;
    QTest::newRow("RIFF size too large")
        << wave({fmt, data}, 0xfffffff0) << true << 22050 << 1 << 1000LL << mono;

    const QByteArray whole = plainWave(mono);
    QTest::newRow("cut in the header") << whole.left(30) << false << 0 << 0 << 0LL << Samples{};
    // 44 header bytes and 301 bytes of samples: 150 whole frames.
    QTest::newRow("cut in the data")
        << whole.left(44 + 301) << true << 22050 << 1 << 150LL << mono.mid(0, 150);
    QTest::newRow("no samples") << wave({fmt, chunk("data", {})}) << true << 22050 << 1 << 0LL
                                << Samples{};

    QByteArray noise(4096, Qt::Uninitialized);
    QRandomGenerator rng(20200403);
    for (char& c : noise)
        c = char(rng.bounded(256));
    QTest::newRow("random bytes") << noise << false << 0 << 0 << 0LL << Samples{};
    QTest::newRow("empty") << QByteArray() << false << 0 << 0 << 0LL << Samples{};
    QTest::newRow("text") << QByteArray("RIFF is not a sound") << false << 0 << 0 << 0LL
                          << Samples{};
}

void TestWavDecoder::decodesImage()
{
    QFETCH(QByteArray, image);
    QFETCH(bool, valid);
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(qint64, frames);
    QFETCH(Samples, samples);

    GuardedBytes bytes(image);
    hy::WavDecoder decoder(bytes.view());
    QCOMPARE(decoder.isValid(), valid);
    QCOMPARE(hy::WavDecoder::canDecode(bytes.view()), valid && frames > 0);
    if (!valid) {
        QVERIFY(!decoder.errorString().isEmpty());
        qint16 sink[16];
        QCOMPARE(decoder.readFrames(sink, 4), 0);
        return;
    }
    QVERIFY(decoder.errorString().isEmpty());
    QCOMPARE(decoder.format(), (hy::AudioFormat{rate, channels}));
    QCOMPARE(decoder.frameCount(), frames);
    QCOMPARE(decodeAll(decoder), samples);
    qint16 sink[16];
    QCOMPARE(decoder.readFrames(sink, 1), 0); // stays at the end
}

void TestWavDecoder::decodesLibsndfileEncodings_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("tolerance"); // largest error allowed, in 16-bit steps

    QTest::newRow("PCM 32") << int(SF_FORMAT_WAV | SF_FORMAT_PCM_32) << 1 << 1;
    QTest::newRow("double") << int(SF_FORMAT_WAV | SF_FORMAT_DOUBLE) << 2 << 1;
    QTest::newRow("A-law") << int(SF_FORMAT_WAV | SF_FORMAT_ALAW) << 1 << 1100;
    QTest::newRow("IMA ADPCM") << int(SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM) << 1 << 1000;
    QTest::newRow("MS ADPCM stereo") << int(SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM) << 2 << 1000;
    QTest::newRow("FLAC") << int(SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 1 << 1;
    QTest::newRow("AIFF") << int(SF_FORMAT_AIFF | SF_FORMAT_PCM_16) << 1 << 1;
}

void TestWavDecoder::decodesLibsndfileEncodings()
{
    QFETCH(int, format);
    QFETCH(int, channels);
    QFETCH(int, tolerance);

    // Half a second of a slow sine at half scale, each channel its own phase.
    const int rate = 11025;
    const int count = rate / 2;
    std::vector<float> frames;
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c)
            frames.push_back(0.5f * std::sin(0.05f * float(i) + float(c)));
    const QByteArray image = encode(format, rate, channels, frames);
    QVERIFY2(!image.isEmpty(), "libsndfile could not write the test image");

    GuardedBytes bytes(image);
    hy::WavDecoder decoder(bytes.view());
    QVERIFY2(decoder.isValid(), qPrintable(decoder.errorString()));
    QCOMPARE(decoder.format(), (hy::AudioFormat{rate, channels}));
    // Block codecs may pad the last block.
    QVERIFY(decoder.frameCount() >= count && decoder.frameCount() < count + 2048);
    const Samples got = decodeAll(decoder, 100);
    QCOMPARE(got.size(), decoder.frameCount() * channels);
    // Adaptive codecs need a few dozen frames to settle on the step size.
    int worst = 0;
    for (size_t i = 100 * size_t(channels); i < frames.size(); ++i)
        worst = std::max(worst, std::abs(int(got[qsizetype(i)]) - int(frames[i] * 32768.0f)));
    QVERIFY2(worst <= tolerance, qPrintable(QStringLiteral("worst error %1").arg(worst)));
}

void TestWavDecoder::everyCutOfAnImageIsSafe()
{
    const Samples samples = ramp(64);
    const QByteArray whole = wave({fmtChunk(1, 1, 22050, 16), chunk("data", pcm16(samples)),
                                   chunk("LIST", QByteArray(40, 'x'))});
    for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
        GuardedBytes bytes(whole.left(cut));
        hy::WavDecoder decoder(bytes.view());
        if (!decoder.isValid())
            continue;
        // Whatever comes out is a prefix of the real samples.
        const Samples got = decodeAll(decoder, 5);
        QVERIFY2(got.size() <= samples.size(), qPrintable(QString::number(cut)));
        QCOMPARE(got, samples.mid(0, got.size()));
    }
    // The whole samples are there once the data chunk is complete.
    GuardedBytes full(whole.left(44 + 128));
    hy::WavDecoder decoder(full.view());
    QCOMPARE(decodeAll(decoder), samples);
}

void TestWavDecoder::mangledHeadersAreSafe()
{
    // Random damage to the header of a WAV (and of a float WAV): never a
    // crash or a read past the end, and never more frames than announced.
    const QByteArray images[] = {
        plainWave(ramp(200)),
        wave({fmtChunk(3, 2, 8000, 32), chunk("data", QByteArray(800, '\x3e'))}),
    };
    QRandomGenerator rng(403);
    int opened = 0;
    for (const QByteArray& original : images) {
        for (int round = 0; round < 400; ++round) {
            QByteArray image = original;
            const int hits = 1 + int(rng.bounded(4));
            for (int h = 0; h < hits; ++h)
                image[qsizetype(rng.bounded(48))] = char(rng.bounded(256));
            if (rng.bounded(3) == 0)
                image.truncate(qsizetype(rng.bounded(quint32(image.size()))));
            GuardedBytes bytes(image);
            hy::WavDecoder decoder(bytes.view());
            if (!decoder.isValid())
                continue;
            ++opened;
            QVERIFY(decoder.format().channels >= 1 && decoder.format().sampleRate >= 1);
            if (decoder.format().channels > 64)
                continue;
            std::vector<qint16> buffer(size_t(decoder.format().channels) * 50);
            qint64 total = 0;
            for (qint64 got; (got = decoder.readFrames(buffer.data(), 50)) > 0;)
                total += got;
            QVERIFY(total <= decoder.frameCount());
        }
    }
    QVERIFY(opened > 0); // the damage left some images readable
}

void TestWavDecoder::committedClipsDecodeExactly()
{
    hy::ClipTable table;
    table.load();
    QCOMPARE(table.loadedCount(), hy::ClipTable::kClipCount);
    for (int i = 0; i < hy::ClipTable::kClipCount; ++i) {
        const QByteArrayView image = table.clip(i);
        const auto [offset, length] = dataChunk(image);
        QVERIFY2(offset > 0, qPrintable(QStringLiteral("clip %1 has no data chunk").arg(i)));
        QVERIFY(hy::WavDecoder::canDecode(image));
        hy::WavDecoder decoder(image);
        QVERIFY(decoder.isValid());
        QCOMPARE(decoder.format(), (hy::AudioFormat{22050, 1}));
        QCOMPARE(decoder.frameCount(), qint64(length / 2));
        const Samples got = decodeAll(decoder, 1000);
        QCOMPARE(got.size(), length / 2);
        QVERIFY2(std::memcmp(got.constData(), image.data() + offset, size_t(length)) == 0,
                 qPrintable(QStringLiteral("clip %1 decodes to other samples").arg(i)));
    }
}

QTEST_GUILESS_MAIN(TestWavDecoder)
#include "test_wavdecoder.moc"
