// Large files that the program reads, timed and weighed in this process (no
// desktop needed):
//   voicepack_load_ms       loading a voice-pack folder of 23 clips of 64 MiB
//                           each, 0.1 s of tone and then silence (median of
//                           runs; goal <= 1000)
//   voicepack_rss_mb        the most resident memory that load adds over the
//                           built-in voice (goal <= 8)
//   settings_50mib_load_ms  reading a settings file of the program's keys and
//                           50 MiB of other lines (median)
//   settings_50mib_save_ms  saving it with changed values (median; it ends
//                           with an fsync of the whole file)
//   settings_50mib_rss_mb   the most resident memory a load or a save adds
// The clips are stretched to their size with zeros that the file system keeps
// as holes, so the folder costs no disk: reading them costs no disk either,
// but a loader that read them would still pay for every byte in time and
// memory. HYBENCH_QUICK=1 makes 2 runs instead of 5.
#include "stats.h"

#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "fakes/testfiles.h"
#include "support/wavbuilder.h"

#include "core/settings/settings.h"
#include "core/speech/cliptable.h"
#include "core/speech/voicepack.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

namespace {

double statusMiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return std::nan("");
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return std::nan("");
}

// Runs `work` `runs` times: the median time, and the most resident memory
// any run added to what the process held before it.
struct Figures
{
    double ms = 0;
    double addedMiB = 0;
};
Figures measure(int runs, const std::function<void()>& work)
{
    std::vector<double> times;
    Figures f;
    for (int i = 0; i < runs; ++i) {
        QFile reset(QStringLiteral("/proc/self/clear_refs")); // "5": the peak starts anew
        if (reset.open(QIODevice::WriteOnly))
            reset.write("5");
        reset.close();
        const double before = statusMiB("VmRSS:");
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
        f.addedMiB = std::max(f.addedMiB, statusMiB("VmHWM:") - before);
    }
    f.ms = benchstats::median(times);
    return f;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = qEnvironmentVariableIntValue("HYBENCH_QUICK") == 1 ? 2 : 5;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    // The built-in voice is in memory first, as in the program.
    hy::ClipTable clips;
    clips.load();
    const QString folder = dir.filePath(QStringLiteral("voice"));
    QDir().mkpath(folder);
    const qint64 clipBytes = 64LL << 20;
    const QByteArray clip = claimingLength(toneWave(22050, 1, 2205, 440), clipBytes);
    for (int i = 0; i < hy::ClipTable::kClipCount; ++i) {
        const QString path = QStringLiteral("%1/WAV%2.wav").arg(folder).arg(i);
        if (!testfiles::writeBytes(path, clip) || !QFile::resize(path, clipBytes))
            return 1;
    }
    int taken = -1;
    const Figures pack = measure(runs, [&] { taken = hy::loadVoicePack(folder).taken; });
    std::printf("# voice pack of %d clips of 64 MiB: %d taken\n", hy::ClipTable::kClipCount, taken);
    std::printf("voicepack_load_ms: %.1f ms\n", pack.ms);
    std::printf("voicepack_rss_mb: %.1f MiB\n", pack.addedMiB);

    // The program's keys, then 50 MiB of lines that are not.
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines +=
            "; note " + QByteArray::number(i) + "\r\nkey" + QByteArray::number(i) + "=value\r\n";
    const QByteArray file = "[Common]\r\nHotKey=F1\r\nIsHour=1\r\n[Notes]\r\n" +
                            lines.repeated(int((50 << 20) / lines.size()) + 1) +
                            "[Sound]\r\nVolume=40\r\n";
    const QString settings = dir.filePath(QStringLiteral("hytunetm.db"));
    if (!testfiles::writeBytes(settings, file))
        return 1;
    hy::SettingsStore target;
    const Figures load = measure(runs, [&] { hy::loadSettings(settings, target); });
    int volume = 40;
    const Figures save = measure(runs, [&] {
        target.set(QStringLiteral("Volume"), QString::number(++volume));
        hy::saveSettings(settings, target);
    });
    std::printf("# settings file of %.1f MiB\n", double(file.size()) / (1 << 20));
    std::printf("settings_50mib_load_ms: %.1f ms\n", load.ms);
    std::printf("settings_50mib_save_ms: %.1f ms\n", save.ms);
    std::printf("# settings: load adds %.1f MiB, save %.1f MiB\n", load.addedMiB, save.addedMiB);
    std::printf("settings_50mib_rss_mb: %.1f MiB\n", std::max(load.addedMiB, save.addedMiB));
    return 0;
}
