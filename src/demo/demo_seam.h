// The demos' unit: the simulated bench (src/sim), or a recorded session (src/replay) when the
// demo was asked to replay one. The simulated bench serves until a recording is chosen.
#pragma once

#include <string>

namespace demo {

// From now on the HID operations serve the session log in fileName. False, with *problem in
// words, when it cannot be read, or when it was made with another image than the one whose
// SHA-256 is carriedDigest (a recording replays only with the image it was made with).
bool serveRecording(const std::string& fileName, const std::string& carriedDigest,
                    std::string* problem);
bool servesRecording();

}  // namespace demo
