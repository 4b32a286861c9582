#pragma once

#include <vector>

namespace hy {

// Clip indices of the phrase for one announce request. The alert phrase for
// UserAlertSound is the single entry UserAlertSound. Every other entry is a
// clip index from 0 to 22; nothing outside that range is ever returned.
using ClipSequence = std::vector<int>;

namespace phrases {

// "现在时间 <hour> 点 <minute>".
ClipSequence clockTime(int hour, int minute);
// The bare number; nothing for n < 1.
ClipSequence secondCount(int n);
// "还有 <n> 分钟"; nothing for n < 1.
ClipSequence minuteCount(int n);
// The built-in alert clip, another clip, or the user's sound; nothing for n < 1.
ClipSequence alert(int n);

// The phrase for a request as the announcer takes it; unknown kinds give nothing.
ClipSequence forRequest(int kind, int argument);

} // namespace phrases
} // namespace hy
