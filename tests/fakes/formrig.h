#pragma once

#include "fakes/countdownfakes.h"
#include "fakes/fakehotkey.h"
#include "fakes/fakeoutputs.h"
#include "fakes/fakeplayer.h"
#include "fakes/faketime.h"

#include "core/app/appcore.h"
#include "core/countdown/tickevent.h"
#include "core/settings/settings.h"
#include "core/speech/cliptable.h"
#include "platform/tickthread.h"
#include "shell/services.h"
#include "shell/tunemain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <memory>

// A main window built from fakes, with a journal of the steps its life takes.
// Settings go to a real file in a temporary directory.
struct FormRig
{
    QTemporaryDir dir;
    QStringList journal;
    FakePlayer* player = nullptr;
    FakeTicks* ticks = nullptr;
    FakeHotkey* hotkey = nullptr;
    FakeOutputs* outputs = nullptr;
    // The time of day and the chime and tips timers; advance() moves them on.
    std::shared_ptr<FakeTime> clock = std::make_shared<FakeTime>();
    QList<QUrl> opened;
    QString nextSoundChoice; // what the file dialog "returns"
    QString nextVoiceFolder; // what the folder dialog "returns"
    bool realTicks = false;  // a real tick thread instead of ticks driven by the test
    bool realTimers = false; // Qt's timers instead of ones driven by the test
    std::function<void(quint64)> onTick;
    std::unique_ptr<hy::AppCore> core;
    std::unique_ptr<TForm1> form;

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

    hy::FormServices services()
    {
        hy::FormServices s;
        s.makeHotkey = [this] {
            journal << QStringLiteral("hotkey");
            auto h = std::make_unique<FakeHotkey>();
            hotkey = h.get();
            return h;
        };
        s.makeTimer = timers();
        s.openUrl = [this](const QUrl& url) { opened << url; };
        s.chooseSoundFile = [this](QWidget*, const QString&) { return nextSoundChoice; };
        s.chooseVoiceFolder = [this](QWidget*, const QString&) { return nextVoiceFolder; };
        s.serverBase = QStringLiteral("http://tips.test");
        s.tipsCachePath = dir.filePath(QStringLiteral("tipsupd.dat"));
        return s;
    }

    hy::TimerFactory timers()
    {
        return realTimers ? hy::TimerFactory(hy::makeEventLoopTimer) : clock->factory();
    }

    // The program's state and its window, as main() builds them.
    TForm1& make(hy::FormServices with)
    {
        form.reset();
        core = std::make_unique<hy::AppCore>(coreServices());
        form = std::make_unique<TForm1>(*core, std::move(with));
        return *form;
    }
    TForm1& make() { return make(services()); }

    // `n` seconds of the countdown's run: the tick source's ticks reach the
    // countdown as they do in the program, through the event queue.
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            onTick(ticks->run);
            QCoreApplication::sendPostedEvents(core.get(), hy::TickEvent::kType);
        }
    }

    // A click on a button, as the user's (a disabled button takes none).
    void click(const char* name) { find<QAbstractButton>(name)->click(); }

    template <typename T>
    T* find(const char* name) const
    {
        return form->findChild<T*>(QLatin1String(name));
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

// Any message box or other modal window up now.
inline bool anyBoxShown()
{
    if (QApplication::activeModalWidget())
        return true;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    }
    return false;
}

// Closes the next message box that opens, remembering its text.
struct BoxCatcher
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    int seen = 0;

    void arm()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }

private:
    void poll()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible()) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons.clear();
                for (QAbstractButton* b : box->buttons())
                    buttons << b->text();
                ++seen;
                box->done(QMessageBox::Ok);
                return;
            }
        }
        QTimer::singleShot(10, [this] { poll(); });
    }
};
