// A high-resolution waitable timer where the system has one (Windows 10 1803 and later), a timed
// wait elsewhere, and the last millisecond on the performance counter, which also tells when the
// wait is over. Nothing system-wide (such as the timer resolution) is changed. Every wait but that
// last millisecond lets the thread's paint and sent messages through, so that a window waiting
// here stays responsive.
#include "win32/precise_wait_windows.h"

#include <windows.h>

#include <atomic>

#include "device/precise_wait.h"
#include "win32/message_wait.h"

namespace {

// Not in MinGW's headers.
constexpr DWORD kCreateWaitableTimerHighResolution = 0x00000002;

std::uint64_t counterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::uint64_t>(frequency.QuadPart);
}

std::uint64_t nowMicroseconds() {
    static const std::uint64_t frequency = counterFrequency();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    const auto ticks = static_cast<std::uint64_t>(counter.QuadPart);
    return ticks / frequency * 1000000 + ticks % frequency * 1000000 / frequency;
}

// The timer lives as long as the process; null where high resolution is not offered.
HANDLE highResolutionTimer() {
    static const HANDLE timer = CreateWaitableTimerExW(
        nullptr, nullptr, kCreateWaitableTimerHighResolution, TIMER_ALL_ACCESS);
    return timer;
}

// How much longer than asked a wait on the timer may last. The timer is due after the time asked;
// one that has not fired by then and this margin is not waited for any longer.
constexpr DWORD kTimerMarginMs = 50;

// Whether a wait is using the timer. One wait at a time uses it: a pause begun meanwhile (by a
// message handled during this one, or on another thread) would move its due time and take its
// signal, a lost wake-up for the first wait. Such a pause takes the timed wait instead.
std::atomic<bool> timerTaken{false};

// The last part of a wait, waited out on the performance counter. A timer is only as fine as the
// system's own clock of timers: Wine's counts whole milliseconds, so that a timer due in 19.3 ms
// fires after 20 ms or later, and every pause after a block would be some 0.8 ms too long. The
// timer is therefore set to end this much early.
constexpr std::uint64_t kCounterTailMicroseconds = 1000;

void waitOnTheCounter(std::uint64_t microseconds) {
    const std::uint64_t end = nowMicroseconds() + microseconds;
    while (nowMicroseconds() < end) YieldProcessor();
}

void sleepMicroseconds(std::uint64_t microseconds) {
    if (microseconds <= kCounterTailMicroseconds) {
        waitOnTheCounter(microseconds);
        return;
    }
    microseconds -= kCounterTailMicroseconds;
    const auto ms = static_cast<DWORD>((microseconds + 999) / 1000);
    const HANDLE timer = highResolutionTimer();
    if (timer != nullptr && !timerTaken.exchange(true)) {
        LARGE_INTEGER due;
        due.QuadPart = -static_cast<LONGLONG>(microseconds * 10);  // relative, 100 ns units
        const bool set = SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) != FALSE;
        // Bounded all the same; the caller reads the clock afterwards and waits out what is left.
        if (set) waitLettingMessagesThrough(timer, ms + kTimerMarginMs);
        timerTaken = false;
        if (set) return;
    }
    waitLettingMessagesThrough(nullptr, ms);
}

}  // namespace

void preciseWait(std::uint32_t ms) {
    const DWORD error = GetLastError();  // a pause must not disturb the error being reported
    waitAtLeast(ms, WaitClock{nowMicroseconds, sleepMicroseconds});
    SetLastError(error);
}
