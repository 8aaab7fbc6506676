// The Version panel: programming unit firmware, controller bootloader and controller firmware.
#pragma once

void refreshVersionPanel();
