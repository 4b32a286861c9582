#pragma once

#include "core/announce.h"
#include "core/clock.h"
#include "core/countdown/countdown.h"
#include "core/countdown/ticksource.h"

#include <QMap>
#include <QStringList>
#include <QTime>
#include <vector>

struct Posted
{
    int kind;
    int argument;
    bool operator==(const Posted&) const = default;
};

class RecordingSink : public hy::IAnnounceSink
{
public:
    void post(int kind, int argument) override { posted.push_back({kind, argument}); }
    std::vector<Posted> posted;
};

class FakeClock : public hy::IClock
{
public:
    QTime timeOfDay() const override { return now; }
    QTime now{12, 0, 0};
};

// Ticks are delivered by the test. On a virtual time line (`now`, ms) the
// source is due at `nextAt`, one second after its start; -1 when stopped.
class FakeTicks : public hy::ITickSource
{
public:
    void start(quint64 run) override
    {
        running = true;
        this->run = run;
        ++starts;
        nextAt = now + 1000;
    }
    void stop() override
    {
        running = false;
        nextAt = -1;
    }
    bool isRunning() const override { return running; }
    bool running = false;
    quint64 run = 0;
    int starts = 0;
    qint64 now = 0;
    qint64 nextAt = -1;
};

class FakeCountdownView : public hy::ICountdownView
{
public:
    FakeCountdownView()
    {
        texts[hy::CountdownField::Hour] = "0";
        texts[hy::CountdownField::Minute] = "10";
        texts[hy::CountdownField::Second] = "30";
        texts[hy::CountdownField::LastMinute] = "10";
        texts[hy::CountdownField::PerMinute] = "1";
        texts[hy::CountdownField::LastSecond] = "30";
        texts[hy::CountdownField::PerSecond] = "1";
    }
    bool isChecked(hy::CountdownBox box) const override { return checked.value(box, false); }
    QString fieldText(hy::CountdownField field) const override { return texts.value(field); }
    QTime startTime() const override { return start; }
    bool hasUserSound() const override { return userSound; }
    void showRemaining(const QString& text) override { display = text; }
    void showCycleCount(int count) override { cycles = count; }
    void showRunning(bool on) override { running = on; }
    void refuseStart() override { ++refusals; }
    void showWaiting(const QTime& until) override
    {
        waitingUntil = until;
        events << (until.isValid() ? "waiting until " + until.toString() : "waiting over");
    }
    void showPaused(bool on) override
    {
        paused = on;
        events << (on ? "paused " : "unpaused ") + display;
    }
    void showEnded(const hy::CountdownEnd& end) override
    {
        events << (end.cycle ? QStringLiteral("cycle %1").arg(end.cycle)
                             : "ended " + end.length.toString());
    }

    QMap<hy::CountdownBox, bool> checked;
    QMap<hy::CountdownField, QString> texts;
    QTime start{5, 5, 5};
    bool userSound = false;
    QString display = "00:10:30";
    int cycles = -1;
    bool running = false;
    int refusals = 0;
    QTime waitingUntil;
    bool paused = false;
    QStringList events; // what the view was told of waiting, pauses and ends
};
