// Waits of the user-interface thread that keep its windows alive. Windows calls a window that has
// not looked at its queue for five seconds "Not Responding" and offers to end the program, and a
// device exchange or a pause of an update can last that long.
#pragma once

#include <windows.h>

// How long a wait may go without letting the thread's messages through.
constexpr DWORD kMessageIntervalMs = 100;

// Waits until object is signalled (true) or timeoutMs have passed (false); object null waits out
// the time. Meanwhile the thread's sent messages are delivered as they come and its paint
// messages handled, at least every kMessageIntervalMs. Input and posted messages stay queued: the
// caller is in the middle of something that they must not start or end.
bool waitLettingMessagesThrough(HANDLE object, DWORD timeoutMs);
