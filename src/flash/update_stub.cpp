// Stands in for the update procedure until it is written.
#include "flash/update.h"

void runUpdate() {}
