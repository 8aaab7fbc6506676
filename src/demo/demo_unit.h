// The demos' unit: the simulated bench (src/sim), or a recorded session (src/replay) when the
// demo was asked to replay one; the backend and the clock that the demo's sessions are given.
#pragma once

#include <memory>
#include <string>

#include "device/clock.h"
#include "device/hid.h"
#include "replay/replay_hid.h"
#include "sim/sim_hid.h"

namespace demo {

// The simulated bench serves until a recording is chosen.
class DemoUnit {
public:
    DemoUnit() = default;
    DemoUnit(const DemoUnit&) = delete;
    DemoUnit& operator=(const DemoUnit&) = delete;

    // From now on the backend serves the session log in fileName. False, with *problem in words,
    // when it cannot be read, or when it was made with another image than the one whose SHA-256
    // is carriedDigest (a recording replays only with the image it was made with).
    bool serveRecording(const std::string& fileName, const std::string& carriedDigest,
                        std::string* problem);
    bool servesRecording() const { return recording_ != nullptr; }

    hid::Backend& backend();
    Clock& clock();

private:
    sim::BenchBackend bench_;
    sim::BenchClock benchClock_;
    std::unique_ptr<replay::RecordingBackend> recording_;
    replay::ReplayClock replayClock_;
};

}  // namespace demo
