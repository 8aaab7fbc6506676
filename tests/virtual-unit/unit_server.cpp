// vunit-server: serves the reports of the virtual programming unit from the simulated unit's
// model (src/sim), through the bus driver's control device. It keeps a request pending that the
// driver completes with each output report the program writes, answers it as the simulated unit
// would, and hands the reply back as an input report. The unit is plugged in while the server
// runs and unplugged when it ends.
//
//   vunit-server [--bench WORDS] [--transcript FILE] [--image-size BYTES]
//
// WORDS are those of UPDATER_SIM_BENCH; FILE receives every report as "<ms> OUT <hex bytes>" /
// "<ms> IN <hex bytes>", milliseconds from the first report, a line as it happens (a reply's
// once the program's handles have it). BYTES is the size of the image the program sends (the
// unit refuses the last block in some setups).
#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "control_codes.h"
#include "sim/bench.h"
#include "sim/bench_setup.h"
#include "sim/unit_model.h"

namespace {

// The size of the fixed test image (tests/data/test-image.bin) and of the placeholder.
constexpr std::size_t kDefaultImageSize = 90224;

struct Options {
    sim::UnitSetup setup;
    std::string transcript;
};

bool readOptions(int argc, char** argv, Options* options) {
    options->setup.imageSize = kDefaultImageSize;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (option == "--bench") {
            if (!sim::parseUnitSetup(value, &options->setup)) {
                std::fprintf(stderr, "vunit-server: unknown bench \"%s\"; known words: %s\n",
                             value.c_str(), sim::knownSetupWords().c_str());
                return false;
            }
        } else if (option == "--transcript") {
            options->transcript = value;
        } else if (option == "--image-size") {
            options->setup.imageSize = std::strtoul(value.c_str(), nullptr, 10);
        } else {
            return false;
        }
    }
    return true;
}

// The transcript, written a line at a time so that nothing is lost however the server ends.
class Transcript {
public:
    explicit Transcript(const std::string& fileName) {
        if (!fileName.empty()) file_ = std::fopen(fileName.c_str(), "wb");
        QueryPerformanceFrequency(&frequency_);
    }
    ~Transcript() {
        if (file_ != nullptr) std::fclose(file_);
    }
    Transcript(const Transcript&) = delete;
    Transcript& operator=(const Transcript&) = delete;

    bool open(const std::string& fileName) const { return fileName.empty() || file_ != nullptr; }

    void add(bool out, const std::uint8_t* report) {
        if (file_ == nullptr) return;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        if (first_.QuadPart == 0) first_ = now;
        const auto ms = static_cast<unsigned long long>((now.QuadPart - first_.QuadPart) * 1000 /
                                                        frequency_.QuadPart);
        std::fprintf(file_, "%llu %s", ms, out ? "OUT" : "IN");
        for (int i = 0; i < VU_REPORT_BYTES; ++i) std::fprintf(file_, " %02x", report[i]);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

private:
    std::FILE* file_ = nullptr;
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER first_{};
};

bool control(HANDLE bus, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) {
    DWORD returned = 0;
    return DeviceIoControl(bus, code, const_cast<void*>(in), inSize, out, outSize, &returned,
                           nullptr) != FALSE;
}

// The transcript's line follows the hand-over, which returns once the HID class driver has given
// the reply to every open handle of the unit: a reply in the transcript reached the handles.
void reply(HANDLE bus, const std::uint8_t* report, Transcript& transcript) {
    if (!control(bus, IOCTL_VU_PUT_INPUT, report, VU_REPORT_BYTES, nullptr, 0)) {
        std::fprintf(stderr, "vunit-server: a reply was not handed over (error %lu)\n",
                     GetLastError());
        return;
    }
    transcript.add(false, report);
}

// Answers output reports until the server is told to stop or the bus goes.
void serve(HANDLE bus, sim::Unit& unit, Transcript& transcript) {
    std::uint8_t request[VU_REPORT_BYTES];
    std::uint8_t answer[VU_REPORT_BYTES];
    while (control(bus, IOCTL_VU_NEXT_OUTPUT, nullptr, 0, request, sizeof request)) {
        transcript.add(true, request);
        // The block that the bus holds for good (block-never-ends) is never answered.
        if (sim::takesForGood(unit, request) || !sim::answers(unit, request)) continue;
        sim::answerRequest(unit, request, answer);
        reply(bus, answer, transcript);
        if (sim::sendsStrayReport(unit, request)) reply(bus, answer, transcript);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!readOptions(argc, argv, &options)) {
        std::fprintf(
            stderr,
            "usage: vunit-server [--bench WORDS] [--transcript FILE] [--image-size BYTES]\n");
        return 2;
    }
    Transcript transcript(options.transcript);
    if (!transcript.open(options.transcript)) {
        std::fprintf(stderr, "vunit-server: cannot write %s\n", options.transcript.c_str());
        return 1;
    }
    const HANDLE bus =
        CreateFileW(VU_CONTROL_PATH, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (bus == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vunit-server: the virtual unit's bus is not running (error %lu)\n",
                     GetLastError());
        return 1;
    }
    sim::Device device = sim::unitFor(options.setup);
    const USHORT productId = device.productId;
    if (!control(bus, IOCTL_VU_SERVE, &productId, sizeof productId, nullptr, 0)) {
        std::fprintf(stderr, "vunit-server: cannot serve the unit (error %lu)\n", GetLastError());
        CloseHandle(bus);
        return 1;
    }
    if (!options.setup.pluggedIn) control(bus, IOCTL_VU_UNPLUG, nullptr, 0, nullptr, 0);
    if (options.setup.blockNeverEnds &&
        !control(bus, IOCTL_VU_HOLD_NEXT_BLOCK, nullptr, 0, nullptr, 0)) {
        std::fprintf(stderr, "vunit-server: cannot arm the block that never ends (error %lu)\n",
                     GetLastError());
        CloseHandle(bus);
        return 1;
    }
    serve(bus, device.unit, transcript);
    CloseHandle(bus);  // unplugs the unit
    return 0;
}
