// The command-line program with the real unit: the hidraw backend needs nothing set up.
#include "cli_platform.h"

bool startPlatform() { return true; }
void finishPlatform() {}
bool platformAcceptsPlaceholder() { return false; }
