#pragma once

#include <QByteArray>
#include <QtEndian>
#include <cmath>

// A plain 16-bit PCM WAV image of `frames` frames of a sine tone at `hz`,
// the same in every channel.
inline QByteArray toneWave(int rate, int channels, int frames, double hz, int amplitude = 8000)
{
    QByteArray data;
    data.reserve(frames * channels * 2);
    for (int i = 0; i < frames; ++i) {
        const auto v = qint16(std::lround(amplitude * std::sin(2 * M_PI * hz * i / rate)));
        for (int c = 0; c < channels; ++c)
            data.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
    }
    const auto le32 = [](quint32 v) {
        QByteArray b(4, 0);
        qToLittleEndian(v, b.data());
        return b;
    };
    const auto le16 = [](quint16 v) {
        QByteArray b(2, 0);
        qToLittleEndian(v, b.data());
        return b;
    };
    const QByteArray fmt = le16(1) + le16(quint16(channels)) + le32(quint32(rate)) +
                           le32(quint32(rate * channels * 2)) + le16(quint16(channels * 2)) +
                           le16(16);
    return "RIFF" + le32(quint32(4 + 24 + 8 + data.size())) + "WAVEfmt " + le32(16) + fmt + "data" +
           le32(quint32(data.size())) + data;
}

// `wave` (a plain 44-byte-header WAV) claiming `bytes` in all, which the file
// made of it is then stretched to with zeros: silence, that costs no disk.
inline QByteArray claimingLength(QByteArray wave, qint64 bytes)
{
    qToLittleEndian(quint32(bytes - 8), wave.data() + 4);
    qToLittleEndian(quint32(bytes - 44), wave.data() + 40);
    return wave;
}
