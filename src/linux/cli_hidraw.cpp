// The command-line program with the real unit: the hidraw backend needs nothing set up.
#include "cli_platform.h"

void startPlatform() {}
void finishPlatform() {}
bool platformAcceptsPlaceholder() { return false; }
