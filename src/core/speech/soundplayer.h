#pragma once

#include <QByteArrayView>
#include <vector>

namespace hy {

// Plays complete WAV file images held in memory.
class ISoundPlayer
{
public:
    virtual ~ISoundPlayer() = default;

    // Plays the images one after the other and returns when the last has
    // ended (or when cut off). Images of the same format go into one stream
    // with no gap between them. An image that cannot be decoded plays nothing.
    // The bytes must stay valid until play() returns.
    virtual void play(const std::vector<QByteArrayView>& images) = 0;

    // May be called from any thread: cuts off the phrase in progress and makes
    // every later play() return at once.
    virtual void abort() = 0;
};

} // namespace hy
