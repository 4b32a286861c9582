#include "core/speech/phrases.h"

#include "core/announce.h"
#include "core/speech/cliptable.h"

namespace hy::phrases {
namespace {

constexpr int kTen = 10;
constexpr int kLeadIn[] = {11, 12, 10, 13}; // 现 在 时 间
constexpr int kHourWord = 14;               // 点
constexpr int kOnTheHour = 15;              // 整
constexpr int kHalfPast = 16;               // 半
constexpr int kMinuteLeadIn[] = {18, 19};   // 还 有
constexpr int kMinuteEnding[] = {20, 21};   // 分 钟

void appendDigits(ClipSequence& out, int n)
{
    const auto first = out.size();
    do {
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(first), n % 10);
        n /= 10;
    } while (n > 0);
}

// Numbers of a count. Below 100 the tens are read with the ten clip (the
// second count drops it between a tens digit and a non-zero unit); from 100 on,
// digit by digit.
void appendCount(ClipSequence& out, int n, bool tenBeforeUnit)
{
    if (n >= 100) {
        appendDigits(out, n);
        return;
    }
    const int t = n / 10;
    const int u = n % 10;
    if (t >= 2) {
        out.push_back(t);
        if (u == 0) {
            out.push_back(kTen);
        } else {
            if (tenBeforeUnit)
                out.push_back(kTen);
            out.push_back(u);
        }
    } else if (t == 1) {
        out.push_back(kTen);
        if (u > 0)
            out.push_back(u);
    } else {
        out.push_back(u);
    }
}

ClipSequence withinTable(ClipSequence seq)
{
    std::erase_if(seq, [](int i) { return i < 0 || i >= ClipTable::kClipCount; });
    return seq;
}

} // namespace

ClipSequence clockTime(int hour, int minute)
{
    ClipSequence seq(std::begin(kLeadIn), std::end(kLeadIn));
    if (hour > 20) {
        seq.insert(seq.end(), {2, kTen, hour - 20});
    } else if (hour == 20) {
        seq.insert(seq.end(), {2, kTen});
    } else if (hour > 10) {
        seq.insert(seq.end(), {kTen, hour - 10});
    } else {
        seq.push_back(hour);
    }
    seq.push_back(kHourWord);
    if (minute == 0) {
        seq.push_back(kOnTheHour);
    } else if (minute == 30) {
        seq.push_back(kHalfPast);
    } else if (minute > 10) {
        // 二十, not 二十零: a round tens minute ends on the ten clip.
        seq.insert(seq.end(), {minute / 10, kTen});
        if (minute % 10 != 0)
            seq.push_back(minute % 10);
    } else {
        seq.insert(seq.end(), {0, minute});
    }
    return withinTable(std::move(seq));
}

ClipSequence secondCount(int n)
{
    ClipSequence seq;
    if (n < 1)
        return seq;
    appendCount(seq, n, false);
    return seq;
}

ClipSequence minuteCount(int n)
{
    ClipSequence seq;
    if (n < 1)
        return seq;
    seq.assign(std::begin(kMinuteLeadIn), std::end(kMinuteLeadIn));
    appendCount(seq, n, true);
    seq.insert(seq.end(), std::begin(kMinuteEnding), std::end(kMinuteEnding));
    return seq;
}

ClipSequence alert(int n)
{
    if (n < 1)
        return {};
    if (n == UserAlertSound)
        return {UserAlertSound};
    return withinTable({n});
}

ClipSequence forRequest(int kind, int argument)
{
    switch (kind) {
    case ClockTime:
        return clockTime(argument / 1000, argument % 1000);
    case SecondCount:
        return secondCount(argument);
    case MinuteCount:
        return minuteCount(argument);
    case Alert:
        return alert(argument);
    default:
        return {};
    }
}

} // namespace hy::phrases
