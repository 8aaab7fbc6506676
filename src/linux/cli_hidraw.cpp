// The command-line program with the real unit: the hidraw backend needs nothing set up.
#include "cli_platform.h"
#include "linux/hidraw_settings.h"

namespace {

hid::hidraw::HidrawBackend hidrawBackend;
hid::hidraw::MonotonicClock monotonicClock;

}  // namespace

bool startPlatform() { return true; }
void finishPlatform() {}
bool platformAcceptsPlaceholder() { return false; }
hid::Backend& platformBackend() { return hidrawBackend; }
Clock& platformClock() { return monotonicClock; }
