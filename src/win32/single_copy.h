// One copy of a program per user session. Two copies would talk to the same unit, and the HID
// driver hands every input report to every open handle: each copy could read the other's replies.
#pragma once

#include <windows.h>

// Claims name (an object name, "Global\..." to cover every log-on session of the machine) for
// this process for the rest of its life. False when another copy holds it: that copy's window has
// then been brought to the front where it is on this desktop, and this one is to end without a
// window of its own.
bool claimOnlyCopy(const wchar_t* name);

// Marks window as the main window of the copy that claimed its name, for a second start to find;
// does nothing in a process that claimed none. unmarkMainWindow takes the mark off again.
void markMainWindow(HWND window);
void unmarkMainWindow(HWND window);
