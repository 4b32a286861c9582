#pragma once

#include <QEvent>

namespace hy {

// One second of a countdown run, posted by the tick thread to the GUI thread.
class TickEvent final : public QEvent
{
public:
    static constexpr QEvent::Type kType = QEvent::Type(2025);
    explicit TickEvent(quint64 run)
        : QEvent(kType)
        , run(run)
    {}
    const quint64 run;
};

} // namespace hy
