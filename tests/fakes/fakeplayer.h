#pragma once

#include "core/speech/soundplayer.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// Records what it is asked to play. Each play() can be made to take a while;
// abort() cuts a slow play short and silences later ones, as the real player.
class FakePlayer : public hy::ISoundPlayer
{
public:
    using Phrase = std::vector<QByteArray>;

    void play(const std::vector<QByteArrayView>& images) override
    {
        std::unique_lock lock(m_mutex);
        if (m_aborted)
            return;
        Phrase phrase;
        for (auto image : images)
            phrase.push_back(image.toByteArray()); // deep copy: checks the bytes were alive
        m_started.push_back(phrase);
        m_changed.notify_all();
        m_changed.wait_for(lock, m_delay, [this] { return m_aborted; });
        // The bytes must not have been freed or changed while "playing".
        for (size_t i = 0; i < images.size(); ++i) {
            if (images[i] != QByteArrayView(phrase[i]))
                m_corrupted = true;
        }
        if (!m_aborted)
            m_finished.push_back(std::move(phrase));
        m_changed.notify_all();
    }
    void abort() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_aborted = true;
            m_changed.notify_all();
        }
        if (m_onAbort)
            m_onAbort();
    }
    void setVolume(int percent) override
    {
        std::lock_guard lock(m_mutex);
        m_volume = percent;
        ++m_volumeSets;
    }
    void setOutput(const QString& device) override
    {
        std::lock_guard lock(m_mutex);
        m_output = device;
    }
    void setVolumeListener(std::function<void(int)> listener) override
    {
        m_volumeListener = std::move(listener);
    }
    // The desktop's mixer sets the level, as the real player reports it: on
    // the playing thread, here on whichever calls this.
    void mixerSets(int percent)
    {
        {
            std::lock_guard lock(m_mutex);
            m_volume = percent;
        }
        m_volumeListener(percent);
    }
    // How often the program set the level.
    int volumeSets() const
    {
        std::lock_guard lock(m_mutex);
        return m_volumeSets;
    }
    int volume() const
    {
        std::lock_guard lock(m_mutex);
        return m_volume;
    }
    QString output() const
    {
        std::lock_guard lock(m_mutex);
        return m_output;
    }
    // Runs on abort(), on the aborting thread.
    void setOnAbort(std::function<void()> f) { m_onAbort = std::move(f); }

    void setDelay(std::chrono::milliseconds delay)
    {
        std::lock_guard lock(m_mutex);
        m_delay = delay;
    }
    std::vector<Phrase> started() const
    {
        std::lock_guard lock(m_mutex);
        return m_started;
    }
    bool corrupted() const
    {
        std::lock_guard lock(m_mutex);
        return m_corrupted;
    }
    std::vector<Phrase> finished() const
    {
        std::lock_guard lock(m_mutex);
        return m_finished;
    }
    // Waits until `count` phrases have started; false on time-out.
    bool waitStarted(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_started.size() >= count; });
    }
    bool waitFinished(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_finished.size() >= count; });
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::chrono::milliseconds m_delay{0};
    std::function<void()> m_onAbort;
    std::function<void(int)> m_volumeListener;
    bool m_aborted = false;
    int m_volume = -1; // never set
    int m_volumeSets = 0;
    QString m_output;
    bool m_corrupted = false;
    std::vector<Phrase> m_started;
    std::vector<Phrase> m_finished;
};
