#include "core/timer.h"

#include <QPointer>
#include <QTimer>

namespace hy {
namespace {

class EventLoopTimer final : public ITimer
{
public:
    EventLoopTimer(QObject* owner, const QString& name)
        : m_timer(new QTimer(owner))
    {
        m_timer->setObjectName(name);
        // Keeps its phase to the millisecond, firing after firing.
        m_timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] {
            if (onTimeout)
                onTimeout();
        });
    }
    ~EventLoopTimer() override { delete m_timer.data(); }

    void start(int intervalMs, bool singleShot) override
    {
        if (!m_timer)
            return;
        m_timer->setSingleShot(singleShot);
        m_timer->start(intervalMs);
    }
    void stop() override
    {
        if (m_timer)
            m_timer->stop();
    }
    bool isActive() const override { return m_timer && m_timer->isActive(); }

private:
    QPointer<QTimer> m_timer;
};

} // namespace

std::unique_ptr<ITimer> makeEventLoopTimer(QObject* owner, const QString& name)
{
    return std::make_unique<EventLoopTimer>(owner, name);
}

} // namespace hy
