#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>

// A recording or a clip is 22050 Hz mono signed 16-bit: 44.1 bytes a millisecond.
inline double bytesToMs(qsizetype bytes)
{
    return double(bytes) / 44.1;
}

// Records what reaches the null sink "out" of the test session (or another
// sink's monitor), as 22050 Hz
// mono signed 16-bit samples (the format of the speech clips), through parec.
// The recording goes to a file that can be read while it grows, so a test can
// wait for a sound instead of sleeping.
class MonitorRecorder
{
public:
    // A short fragment latency makes samples arrive soon, but it also lowers
    // the sink's latency to match while recording.
    explicit MonitorRecorder(int latencyMs = 10, QString source = QStringLiteral("out.monitor"))
        : m_latencyMs(latencyMs)
        , m_source(std::move(source))
    {}
    ~MonitorRecorder()
    {
        if (m_parec.state() != QProcess::NotRunning) {
            m_parec.kill();
            m_parec.waitForFinished(2000);
        }
    }

    // Starts recording and returns once samples flow; false (with why()) if not.
    bool start()
    {
        if (!m_dir.isValid()) {
            m_why = QStringLiteral("no temporary directory");
            return false;
        }
        m_path = m_dir.filePath(QStringLiteral("monitor.raw"));
        m_parec.setStandardOutputFile(m_path);
        m_parec.setStandardErrorFile(m_dir.filePath(QStringLiteral("parec.log")));
        m_parec.start(QStringLiteral("parec"),
                      {QStringLiteral("-d"), m_source, QStringLiteral("--rate=22050"),
                       QStringLiteral("--channels=1"), QStringLiteral("--format=s16le"),
                       QStringLiteral("--latency-msec=%1").arg(m_latencyMs)});
        if (!m_parec.waitForStarted(5000)) {
            m_why = QStringLiteral("parec did not start: ") + m_parec.errorString();
            return false;
        }
        QElapsedTimer t;
        t.start();
        while (size() == 0) {
            if (m_parec.state() == QProcess::NotRunning || t.elapsed() > 5000) {
                m_why = QStringLiteral("parec records nothing: ") + log();
                return false;
            }
            QThread::msleep(5);
        }
        return true;
    }

    // How far the recording has got, in milliseconds of sound.
    double positionMs() const { return bytesToMs(size()); }

    // The samples recorded so far, while recording goes on.
    QByteArray samples() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Lets the tail of the sound arrive for `settleMs`, stops parec and
    // returns the samples.
    QByteArray stop(int settleMs = 300)
    {
        if (m_parec.state() != QProcess::NotRunning) {
            QThread::msleep(settleMs);
            m_parec.terminate();
            if (!m_parec.waitForFinished(3000))
                m_parec.kill();
            m_parec.waitForFinished(2000);
        }
        return samples();
    }

    QString why() const { return m_why; }

private:
    qint64 size() const { return QFile(m_path).size(); }

    QString log() const
    {
        QFile f(m_dir.filePath(QStringLiteral("parec.log")));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }

    int m_latencyMs;
    QString m_source;
    QTemporaryDir m_dir;
    QString m_path;
    QString m_why;
    QProcess m_parec;
};

// Whether a recording holds nothing but silence from `fromMs` on. Read the
// samples once for it: the file grows while it is read.
inline bool silentFrom(QByteArrayView samples, double fromMs)
{
    const qsizetype from = qsizetype(fromMs * 44.1) & ~qsizetype(1);
    return std::all_of(samples.begin() + std::min(from, samples.size()), samples.end(),
                       [](char c) { return c == 0; });
}

// Where `needle` occurs in `haystack` at an even (sample) offset, from `from`
// on; -1 if nowhere.
inline qsizetype findSamples(QByteArrayView haystack, QByteArrayView needle, qsizetype from = 0)
{
    for (qsizetype pos = haystack.indexOf(needle, from); pos >= 0;
         pos = haystack.indexOf(needle, pos + 1)) {
        if (pos % 2 == 0)
            return pos;
    }
    return -1;
}

// The sample bytes of a clip, which has the plain 44-byte-or-more RIFF layout
// with chunks before and after "data".
inline QByteArrayView clipSamples(QByteArrayView image)
{
    qsizetype pos = 12;
    while (pos + 8 <= image.size()) {
        const auto* p = reinterpret_cast<const uchar*>(image.data() + pos + 4);
        const qsizetype size = p[0] | p[1] << 8 | p[2] << 16 | qsizetype(p[3]) << 24;
        if (image.sliced(pos, 4) == "data")
            return image.sliced(pos + 8, std::min(size, image.size() - pos - 8));
        pos += 8 + size + (size & 1);
    }
    return {};
}
