#pragma once

#include <QByteArray>
#include <mutex>

namespace hy {

// The user's alert sound: a whole WAV file image that the GUI thread may
// replace while the announcer thread plays it. The bytes are never changed in
// place; replace() swaps in a new buffer and a reader's copy keeps the old
// one alive until it lets go.
class SharedSound
{
public:
    QByteArray snapshot() const
    {
        std::lock_guard lock(m_mutex);
        return m_data;
    }
    void replace(QByteArray data)
    {
        std::lock_guard lock(m_mutex);
        m_data.swap(data);
        // Only this reference to the old bytes goes; a reader's snapshot
        // keeps them alive until the reader lets go.
    }
    void clear() { replace({}); }
    bool isEmpty() const
    {
        std::lock_guard lock(m_mutex);
        return m_data.isEmpty();
    }

private:
    mutable std::mutex m_mutex;
    QByteArray m_data;
};

} // namespace hy
