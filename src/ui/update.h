// The update as the main window runs it: started by the Update button, it asks for confirmation,
// checks the unit and the image, writes the carried firmware into the controller under a
// progress window (src/flash/update_procedure.h) and reports the outcome in the main window.
#pragma once

#include <cstdint>

#include "device/device_session.h"
#include "flash/firmware_image.h"

// Runs the whole update on the user-interface thread and returns when it has ended.
void runUpdate();
// The same with another source of the image, located after the confirmations.
void runUpdate(FirmwareImage (*locateImage)());

// Whether the build's placeholder image may be written: only to a simulated unit (the demo and
// the tests). The program refuses it, as it refuses an image that cannot be sent.
void acceptPlaceholderImage(bool accepted);

// Closes the session, disables Update, refreshes the Version panel, shows the error box (text,
// and unless result is -1 a line with result and lastError) and puts the update-failed text
// into the Hint box. Every failure of an update ends here.
void reportUpdateFailure(const wchar_t* text, const wchar_t* caption, ResultCode result,
                         std::uint32_t lastError);
