#pragma once

// The main window's countdown as in daily use, driven from its controls: what
// bench_latency and bench_speechload share.
#include "sinkclock.h"

#include "core/announce.h"
#include "core/speech/speechoutput.h"
#include "platform/tickthread.h"
#include "shell/application.h"
#include "shell/services.h"
#include "shell/tunemain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace formcountdown {

using namespace sinkclock;

template <typename W>
inline W* control(QWidget& form, const char* name)
{
    W* w = form.findChild<W*>(QLatin1String(name));
    if (!w) {
        std::fprintf(stderr, "bench: the window has no control %s\n", name);
        std::exit(1);
    }
    return w;
}

inline void choose(QWidget& form, const char* name, const QString& text)
{
    auto* box = control<QComboBox>(form, name);
    box->setCurrentText(text);
    if (box->currentText() != text) {
        std::fprintf(stderr, "bench: %s does not take \"%s\"\n", name, qPrintable(text));
        std::exit(1);
    }
}

// Runs a countdown of `seconds` that speaks every `every`-th of its last
// `seconds` seconds, in the main window TForm1 with the real services but
// two: the player notes when each phrase reaches it in `log`, and the tick
// source notes each tick. Settings are neither read nor written. With
// `warmUp`, a phrase is spoken first (the first phrase of a run sets up what
// later ones find ready, such as the player's real-time scheduling). The
// exit code of the event loop: 0 when the countdown ran to its end.
inline int run(hy::Application& app, Log& log, int seconds, int every, bool warmUp = false)
{
    QTemporaryDir scratch;
    hy::CoreServices services = hy::realCoreServices();
    services.loadSettings = [](hy::SettingsStore&) { return false; };
    services.saveSettings = [](hy::SettingsStore&) { return true; };
    hy::FormServices formServices = hy::realFormServices();
    formServices.tipsCachePath = scratch.filePath(QStringLiteral("tipsupd.dat"));
    formServices.serverBase = QStringLiteral("http://127.0.0.1:9");
    services.makePlayer = [&log] { return std::make_unique<NotingPlayer>(log); };
    services.makeTickSource = [&log](std::function<void(quint64)> onTick) {
        return std::make_unique<hy::TickThread>([&log, onTick](quint64 run) {
            {
                std::lock_guard lock(log.mutex);
                log.ticks.push_back(Clock::now());
            }
            onTick(run);
        });
    };

    hy::AppCore core(services);
    TForm1 form(core, formServices);
    form.show();
    choose(form, "cbbHour", QStringLiteral("0"));
    choose(form, "cbbMin", QStringLiteral("0"));
    choose(form, "cbbSec", QString::number(seconds));
    choose(form, "cbbLastSec", QString::number(seconds));
    choose(form, "cbbPerSec", QString::number(every));
    control<QCheckBox>(form, "chkSec")->setChecked(true);
    for (const char* off : {"chkMin", "chkLastOne", "chkCircle", "chkStart"})
        control<QCheckBox>(form, off)->setChecked(false);

    // Start once the window and the recording have settled; end when the run
    // is over and its last phrase has been played out.
    bool started = false;
    if (warmUp)
        QTimer::singleShot(1000, &form, [&] { form.speech().post(hy::ClockTime, 905); });
    QTimer::singleShot(warmUp ? 6000 : 1000, &form, [&] {
        control<QPushButton>(form, "btnMinStart")->click();
        started = true;
    });
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (started && !form.countdown().isActive()) {
            watch.stop();
            QTimer::singleShot(2500, &app, &QCoreApplication::quit);
        }
    });
    watch.start(100);
    QTimer::singleShot((seconds + 20) * 1000, &app, [] {
        std::fprintf(stderr, "bench: the countdown did not end in time\n");
        QCoreApplication::exit(1);
    });
    const int rc = app.exec();
    form.close();
    return rc;
}

} // namespace formcountdown
