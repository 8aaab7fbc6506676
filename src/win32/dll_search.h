// Where the process may load DLLs from: the system folder only.
#pragma once

// Makes every DLL that the process loads from now on, the system's own indirect loads included,
// come from the system folder, never from the folder the program was started from (a Downloads
// folder may hold a planted hid.dll or comctl32.dll). False when the system refuses.
bool loadDllsFromSystemFolderOnly();
