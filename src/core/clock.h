#pragma once

#include <QTime>

namespace hy {

// The local time of day. Tests drive a fake one.
class IClock
{
public:
    virtual ~IClock() = default;
    virtual QTime timeOfDay() const = 0;
};

class SystemClock final : public IClock
{
public:
    QTime timeOfDay() const override { return QTime::currentTime(); }
};

} // namespace hy
