// Waits on Windows that are never shorter than asked and not rounded up to the scheduler tick.
#pragma once

#include <cstdint>

void preciseWait(std::uint32_t ms);
