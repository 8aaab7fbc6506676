#include "demo/demo_unit.h"

#include <utility>

#include "replay/recording.h"

namespace demo {

bool DemoUnit::serveRecording(const std::string& fileName, const std::string& carriedDigest,
                              std::string* problem) {
    replay::Recording recording;
    if (!replay::readRecordingFile(fileName, &recording, problem)) return false;
    if (recording.imageDigest != carriedDigest) {
        *problem = "it was made with the image whose SHA-256 is " + recording.imageDigest +
                   "; this demo carries " + carriedDigest +
                   ", and replays only recordings of the image it carries.";
        return false;
    }
    recording_ = std::make_unique<replay::RecordingBackend>(std::move(recording));
    return true;
}

hid::Backend& DemoUnit::backend() {
    if (recording_ != nullptr) return *recording_;
    return bench_;
}

Clock& DemoUnit::clock() {
    if (recording_ != nullptr) return replayClock_;
    return benchClock_;
}

}  // namespace demo
