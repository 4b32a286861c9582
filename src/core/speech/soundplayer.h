#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>
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

    // May be called from any thread. The volume (0..100 %) applies from the
    // next sample the output takes, also to a phrase in progress. A player
    // without a volume of its own plays everything at full volume.
    virtual void setVolume(int /*percent*/) {}
    // May be called from any thread: the output device (the sound server's
    // name for it) that the next phrase goes to; empty for the desktop's
    // default output. A device that is not there plays on the default one. A
    // player without a choice of devices plays on the one it has.
    virtual void setOutput(const QString& /*device*/) {}
    // Set before the first play(): called on the playing thread when the
    // level was changed from outside the program (the desktop's mixer), with
    // the new level, which the player keeps from then on.
    virtual void setVolumeListener(std::function<void(int percent)> /*listener*/) {}
};

} // namespace hy
