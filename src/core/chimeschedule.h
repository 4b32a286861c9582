#pragma once

#include "core/timer.h"

#include <QObject>
#include <QTime>
#include <functional>
#include <memory>

namespace hy {

class IAnnounceSink;
class IClock;
class SettingsStore;

// The clock chimes: on the hour, on the half hour and at the fixed time, as
// the settings hold them. The chime timer tmrHour runs while any of them is
// switched on, firing on second 0 of each minute of the clock it reads (the
// local clock, or the server's with 对时); each firing asks for at most one
// phrase, and none while `quietAt` says the chimes keep silent.
class ChimeSchedule final : public QObject
{
    Q_OBJECT
public:
    ChimeSchedule(const SettingsStore& settings, const IClock& clock, IAnnounceSink& speech,
                  std::function<bool(const QTime&)> quietAt, const TimerFactory& makeTimer,
                  QObject* parent = nullptr);
    ~ChimeSchedule() override;

    // Starts or stops tmrHour as the chime boxes say; switching to the state
    // it already has leaves a running timer alone.
    void applyChimeRule();
    // The clock moved (the server's offset was measured, switched on or off):
    // the next firing is aimed at second 0 of its minute.
    void reaim();
    bool isRunning() const;

private:
    void tmrHourTimer();

    const SettingsStore& m_settings;
    const IClock& m_clock;
    IAnnounceSink& m_speech;
    std::function<bool(const QTime&)> m_quietAt;
    std::unique_ptr<ITimer> tmrHour;
};

} // namespace hy
