#include "win32/message_wait.h"

#include <algorithm>
#include <chrono>

namespace {

// Looking at the queue delivers the messages sent to the thread's windows (device notices among
// them); paint messages are taken and handled. Bounded: a window that never validates itself would
// otherwise keep the loop going.
void letMessagesThrough() {
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    for (int i = 0; i < 64 && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT); ++i) {
        DispatchMessageW(&message);
    }
}

}  // namespace

bool waitLettingMessagesThrough(HANDLE object, DWORD timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const bool endless = timeoutMs == INFINITE;
    // Not GetTickCount64: it moves in steps of the scheduler's tick (some 16 ms), and a deadline
    // read from it would end the wait up to a tick early.
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const DWORD count = object != nullptr ? 1 : 0;
    for (;;) {
        letMessagesThrough();
        const Clock::time_point now = Clock::now();
        if (!endless && now >= deadline) {
            return object != nullptr && WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        }
        // The rest rounded up: a wait shorter than asked is looked at again above.
        const DWORD slice =
            endless ? kMessageIntervalMs
                    : static_cast<DWORD>(std::min<long long>(
                          std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count(),
                          kMessageIntervalMs));
        const DWORD woken = MsgWaitForMultipleObjectsEx(count, count != 0 ? &object : nullptr,
                                                        slice, QS_SENDMESSAGE | QS_PAINT, 0);
        if (count != 0 && woken == WAIT_OBJECT_0) return true;
        if (woken == WAIT_FAILED) {
            // Not expected; the wait itself must still end in time.
            if (object == nullptr) {
                Sleep(slice);
            } else if (WaitForSingleObject(object, slice) == WAIT_OBJECT_0) {
                return true;
            }
        }
    }
}
