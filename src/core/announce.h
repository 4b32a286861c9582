#pragma once

namespace hy {

// Kinds of announce requests taken by the announcer thread.
enum AnnounceKind : int
{
    ClockTime = 1,   // argument: hour * 1000 + minute
    SecondCount = 2, // argument: seconds left
    MinuteCount = 3, // argument: whole minutes left
    Alert = 4,       // argument: a clip index (22 is the built-in alert) or UserAlertSound
};

// The quit request: kind and argument both -1.
inline constexpr int kQuitRequest = -1;

inline constexpr int kBuiltinAlertClip = 22;
// Alert argument that plays the user's own sound instead of a clip.
inline constexpr int UserAlertSound = 99;

// Where announce requests go. post() must never block the caller.
class IAnnounceSink
{
public:
    virtual ~IAnnounceSink() = default;
    virtual void post(int kind, int argument) = 0;
};

} // namespace hy
