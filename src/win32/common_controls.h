// comctl32.dll, loaded from the system folder only.
//
// comctl32.dll is not one of Windows' KnownDLLs: in the import table, a comctl32.dll lying next
// to the executable would be loaded in its place. So it is loaded with
// LOAD_LIBRARY_SEARCH_SYSTEM32 and InitCommonControls resolved by name, when an update begins:
// only the update's progress window needs it.
#pragma once

// Loads comctl32.dll and runs InitCommonControls, so that the progress bar class exists; the
// library stays loaded for the life of the process, and a second call only runs
// InitCommonControls again. False when either cannot be found; the progress window is then not
// made, and the update goes on without it.
bool initCommonControls();
