#pragma once

#include "fakes/countdownfakes.h"
#include "fakes/fakeoutputs.h"
#include "fakes/fakeplayer.h"
#include "fakes/faketime.h"

#include "core/app/appcore.h"
#include "core/countdown/tickevent.h"
#include "core/settings/settings.h"
#include "core/speech/cliptable.h"
#include "platform/tickthread.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

// The program's state built from fakes, with a journal of the steps its life
// takes. Settings go to a real file in a temporary directory.
struct CoreRig
{
    QTemporaryDir dir;
    QStringList journal;
    FakePlayer* player = nullptr;
    FakeTicks* ticks = nullptr;
    FakeOutputs* outputs = nullptr;
    // The time of day and the chime and tips timers; advance() moves them on.
    std::shared_ptr<FakeTime> clock = std::make_shared<FakeTime>();
    bool realTicks = false;  // a real tick thread instead of ticks driven by the test
    bool realTimers = false; // Qt's timers instead of ones driven by the test
    std::function<void(quint64)> onTick;
    std::unique_ptr<hy::AppCore> core;

    QString settingsPath() const { return dir.filePath(QStringLiteral("hytunetm.db")); }

    hy::CoreServices coreServices()
    {
        hy::CoreServices s;
        s.loadSettings = [this](hy::SettingsStore& store) {
            journal << QStringLiteral("settings loaded");
            return hy::loadSettings(settingsPath(), store);
        };
        s.saveSettings = [this](hy::SettingsStore& store) {
            journal << QStringLiteral("settings saved");
            return hy::saveSettings(settingsPath(), store);
        };
        s.loadClips = [this](hy::ClipTable& clips) {
            journal << QStringLiteral("clips loaded");
            clips.load();
        };
        s.makePlayer = [this] {
            journal << QStringLiteral("announcer started");
            auto p = std::make_unique<FakePlayer>();
            p->setOnAbort([this] {
                journal << QStringLiteral("announcer stopped with %1 clips")
                               .arg(core ? core->speech().clips().loadedCount() : -1);
            });
            player = p.get();
            return p;
        };
        s.makeTickSource =
            [this](std::function<void(quint64)> onTick) -> std::unique_ptr<hy::ITickSource> {
            if (realTicks)
                return std::make_unique<hy::TickThread>(std::move(onTick));
            this->onTick = onTick;
            auto t = std::make_unique<FakeTicks>();
            ticks = t.get();
            return t;
        };
        s.makeTimer = timers();
        s.makeOutputs = [this] {
            auto o = std::make_unique<FakeOutputs>();
            outputs = o.get();
            return o;
        };
        s.clock = clock;
        return s;
    }

    hy::TimerFactory timers()
    {
        return realTimers ? hy::TimerFactory(hy::makeEventLoopTimer) : clock->factory();
    }

    // The state as main() builds it, started as the window starts it.
    hy::AppCore& makeCore()
    {
        core = std::make_unique<hy::AppCore>(coreServices());
        core->start();
        return *core;
    }
    hy::SettingsStore& settings() { return core->settings(); }

    // `n` seconds of the countdown's run: the tick source's ticks reach the
    // countdown as they do in the program, through the event queue.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            onTick(ticks->run);
            QCoreApplication::sendPostedEvents(core.get(), hy::TickEvent::kType);
        }
    }

    void writeSettings(const QByteArray& content)
    {
        QFile f(settingsPath());
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(content);
    }
};

// The images of the built-in clips `indices`, as FakePlayer records a phrase.
inline FakePlayer::Phrase clipPhrase(const QList<int>& indices)
{
    hy::ClipTable clips;
    clips.load();
    FakePlayer::Phrase phrase;
    for (int i : indices)
        phrase.push_back(clips.clip(i).toByteArray());
    return phrase;
}
