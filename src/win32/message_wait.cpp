#include "win32/message_wait.h"

#include <algorithm>

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
    const bool endless = timeoutMs == INFINITE;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    const DWORD count = object != nullptr ? 1 : 0;
    for (;;) {
        letMessagesThrough();
        const ULONGLONG now = GetTickCount64();
        if (!endless && now >= deadline) {
            return object != nullptr && WaitForSingleObject(object, 0) == WAIT_OBJECT_0;
        }
        const DWORD slice = endless ? kMessageIntervalMs
                                    : static_cast<DWORD>(std::min<ULONGLONG>(
                                          deadline - now, kMessageIntervalMs));
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
