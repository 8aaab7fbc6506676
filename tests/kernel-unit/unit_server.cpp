// The programming unit's side inside the test guest: presents simulated units to the guest's kernel
// and answers the reports that arrive from its HID stack with the simulated unit's model.
//
//   kernel-unit-server [--usb] [--bench WORDS] [--transcript FILE] [--image-size BYTES]
//
// WORDS are the demo's bench words (UPDATER_SIM_BENCH), a list of units separated by commas. Each
// unit is a UHID device on the USB bus (/dev/uhid); with --usb the one unit is the USB gadget that
// the guest has made in configfs (GADGET below) on dummy_hcd, whose side is /dev/hidg0. A unit is
// plugged in by creating the UHID device or binding the gadget, and pulled out by destroying or
// unbinding it.
//
// SIGUSR1 plugs in every unit that is out, SIGUSR2 pulls every unit out; SIGTERM or SIGINT end
// the server. With --usb the server makes the gadget in configfs when it starts and takes it down
// when it ends. The transcripts are written at the end, in the demo's format
// (UPDATER_SIM_TRANSCRIPT: FILE for one unit, FILE.1, FILE.2, ... for several), each report timed
// when the unit received or sent it. "ready" goes to standard output once the units are presented.
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <string>
#include <vector>

#include "linux/descriptors.h"
#include "sim/bench_setup.h"
#include "sim/bench_state.h"
#include "sim/unit_model.h"

namespace {

constexpr std::size_t kReportLength = 60;
constexpr std::uint16_t kBusUsb = 0x03;
constexpr const char* kGadget = "/sys/kernel/config/usb_gadget/unit";
constexpr const char* kUdc = "dummy_udc.0";
constexpr int kWriteTimeoutMs = 2000;
constexpr int kGadgetNodeWaitMs = 2000;

struct Slot {
    sim::UnitSetup setup;
    unsigned benchId = 0;  // the unit's model and transcript on the bench
    bool plugged = false;
    int fd = -1;  // /dev/uhid of this unit, or /dev/hidg0
};

bool usbGadget = false;
std::vector<Slot> slots;

void die(const char* what) {
    std::fprintf(stderr, "kernel-unit-server: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

bool writeFile(const std::string& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return close(fd) == 0 && written;
}

std::string productName(const Slot& slot) {
    return slot.setup.product == sim::Product::linkwave ? "LINKWAVE" : "LINK-CUBE";
}

std::uint16_t productId(const Slot& slot) {
    return slot.setup.product == sim::Product::linkwave ? 1 : 2;
}

std::string gadget(const char* path) { return std::string(kGadget) + "/" + path; }

// The unit as a USB gadget: the same IDs, strings and report descriptor as over UHID.
void makeGadget(const Slot& slot) {
    for (const char* folder :
         {"", "strings/0x409", "functions/hid.usb0", "configs/c.1", "configs/c.1/strings/0x409"}) {
        if (mkdir(gadget(folder).c_str(), 0755) != 0 && errno != EEXIST) die("making the gadget");
    }
    const auto& descriptor = descriptors::kProgrammingUnit;
    const std::pair<const char*, std::string> attributes[] = {
        {"idVendor", "0x5ea7"},
        {"idProduct", productId(slot) == 1 ? "0x0001" : "0x0002"},
        {"bcdDevice", "0x0100"},
        {"bcdUSB", "0x0200"},
        {"strings/0x409/manufacturer", "BELMARODA"},
        {"strings/0x409/product", productName(slot)},
        {"strings/0x409/serialnumber", "KU0001"},
        {"functions/hid.usb0/protocol", "0"},
        {"functions/hid.usb0/subclass", "0"},
        {"functions/hid.usb0/report_length", std::to_string(kReportLength)},
        {"functions/hid.usb0/report_desc", std::string(descriptor.begin(), descriptor.end())},
        {"configs/c.1/MaxPower", "100"},
        {"configs/c.1/strings/0x409/configuration", "unit"},
    };
    for (const auto& attribute : attributes) {
        if (!writeFile(gadget(attribute.first), attribute.second)) die(attribute.first);
    }
    if (symlink(gadget("functions/hid.usb0").c_str(), gadget("configs/c.1/hid.usb0").c_str()) != 0)
        die("linking the gadget's function");
}

void takeDownGadget() {
    unlink(gadget("configs/c.1/hid.usb0").c_str());
    for (const char* folder :
         {"configs/c.1/strings/0x409", "configs/c.1", "functions/hid.usb0", "strings/0x409", ""}) {
        rmdir(gadget(folder).c_str());
    }
}

bool writeUhid(int fd, const uhid_event& event) {
    return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

// Sends an input report from the unit to the PC, onto the transcript.
void send(Slot& slot, const std::uint8_t* report) {
    sim::record(slot.benchId, false, report, kReportLength);
    if (!usbGadget) {
        uhid_event event{};
        event.type = UHID_INPUT2;
        event.u.input2.size = kReportLength;
        std::memcpy(event.u.input2.data, report, kReportLength);
        if (!writeUhid(slot.fd, event)) std::perror("kernel-unit-server: UHID_INPUT2");
        return;
    }
    // The gadget holds one report until the host's interrupt endpoint takes it.
    pollfd ready{slot.fd, POLLOUT, 0};
    if (poll(&ready, 1, kWriteTimeoutMs) != 1 ||
        write(slot.fd, report, kReportLength) != static_cast<ssize_t>(kReportLength)) {
        std::fprintf(stderr, "kernel-unit-server: an input report not taken by the host\n");
    }
}

// What the unit does with a report from the PC: as the simulated seam answers it.
void answer(Slot& slot, const std::uint8_t* request, std::size_t length) {
    sim::record(slot.benchId, true, request, static_cast<std::uint32_t>(length));
    if (length != kReportLength) return;
    sim::Unit& unit = sim::findDevice(slot.benchId)->unit;
    if (sim::takesForGood(unit, request) || !sim::answers(unit, request)) return;
    std::uint8_t reply[kReportLength];
    sim::answerRequest(unit, request, reply);
    const bool strayAfter = sim::sendsStrayReport(unit, request);
    if (sim::sendsStrayReportBefore(unit, request)) {
        send(slot, sim::strayAcceptance(unit, request, kReportLength).data());
    }
    send(slot, reply);
    if (strayAfter) send(slot, reply);
}

void plug(Slot& slot) {
    if (slot.plugged) return;
    // A unit plugged in again starts afresh, as the real one does after losing its power.
    sim::findDevice(slot.benchId)->unit = sim::unitFor(slot.setup).unit;
    if (usbGadget) {
        if (!writeFile(gadget("UDC"), kUdc)) die("binding the gadget");
        // The gadget's node comes with the binding.
        for (int waited = 0; slot.fd < 0 && waited < kGadgetNodeWaitMs; waited += 10) {
            slot.fd = open("/dev/hidg0", O_RDWR | O_NONBLOCK | O_CLOEXEC);
            if (slot.fd < 0) usleep(10000);
        }
        if (slot.fd < 0) die("/dev/hidg0");
    } else {
        uhid_event event{};
        event.type = UHID_CREATE2;
        std::snprintf(reinterpret_cast<char*>(event.u.create2.name), sizeof event.u.create2.name,
                      "BELMARODA %s", productName(slot).c_str());
        std::snprintf(reinterpret_cast<char*>(event.u.create2.phys), sizeof event.u.create2.phys,
                      "kernel-unit/%d/%u", static_cast<int>(getpid()), slot.benchId);
        const auto& descriptor = descriptors::kProgrammingUnit;
        event.u.create2.rd_size = static_cast<std::uint16_t>(descriptor.size());
        std::memcpy(event.u.create2.rd_data, descriptor.data(), descriptor.size());
        event.u.create2.bus = kBusUsb;
        event.u.create2.vendor = 0x5EA7;
        event.u.create2.product = productId(slot);
        event.u.create2.version = 0x0100;
        if (!writeUhid(slot.fd, event)) die("UHID_CREATE2");
    }
    slot.plugged = true;
}

void unplug(Slot& slot) {
    if (!slot.plugged) return;
    if (usbGadget) {
        close(slot.fd);
        slot.fd = -1;
        if (!writeFile(gadget("UDC"), "\n")) die("unbinding the gadget");
    } else {
        uhid_event event{};
        event.type = UHID_DESTROY;
        if (!writeUhid(slot.fd, event)) die("UHID_DESTROY");
    }
    slot.plugged = false;
}

// Takes what the kernel sends to a unit's descriptor: reports from the PC, and UHID's own events.
void serve(Slot& slot) {
    if (usbGadget) {
        std::uint8_t report[64];
        const ssize_t length = read(slot.fd, report, sizeof report);
        if (length > 0 && slot.plugged) answer(slot, report, static_cast<std::size_t>(length));
        return;
    }
    uhid_event event{};
    if (read(slot.fd, &event, sizeof event) <= 0) return;
    if (event.type == UHID_OUTPUT && event.u.output.rtype == UHID_OUTPUT_REPORT) {
        answer(slot, event.u.output.data, event.u.output.size);
    } else if (event.type == UHID_GET_REPORT || event.type == UHID_SET_REPORT) {
        // The unit has no feature reports: the request fails rather than waiting out its time.
        uhid_event reply{};
        if (event.type == UHID_GET_REPORT) {
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = event.u.get_report.id;
            reply.u.get_report_reply.err = EIO;
        } else {
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = event.u.set_report.id;
            reply.u.set_report_reply.err = EIO;
        }
        writeUhid(slot.fd, reply);
    }
}

void writeTranscripts(const char* fileName) {
    if (fileName == nullptr) return;
    if (slots.size() == 1) {
        sim::writeTranscript(fileName, slots[0].benchId);
        return;
    }
    for (std::size_t k = 0; k < slots.size(); ++k) {
        sim::writeTranscript(fileName + ("." + std::to_string(k + 1)), slots[k].benchId);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // --signals-at-default PROGRAM ARGS...: runs PROGRAM with SIGINT and SIGQUIT at their
    // defaults, which busybox's sh ignores in the jobs it starts in the background, so that a
    // test may send them to the program.
    if (argc > 2 && std::string(argv[1]) == "--signals-at-default") {
        signal(SIGINT, SIG_DFL);
        signal(SIGQUIT, SIG_DFL);
        execv(argv[2], argv + 2);
        std::perror("kernel-unit-server: exec");
        return 127;
    }
    const char* words = "";
    const char* transcript = nullptr;
    sim::UnitSetup start;
    start.imageSize = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--usb") {
            usbGadget = true;
        } else if (option == "--bench" && i + 1 < argc) {
            words = argv[++i];
        } else if (option == "--transcript" && i + 1 < argc) {
            transcript = argv[++i];
        } else if (option == "--image-size" && i + 1 < argc) {
            start.imageSize = std::strtoul(argv[++i], nullptr, 10);
        } else {
            std::fprintf(stderr,
                         "usage: kernel-unit-server [--usb] [--bench WORDS] "
                         "[--transcript FILE] [--image-size BYTES]\n");
            return 64;
        }
    }
    std::vector<sim::UnitSetup> setups;
    if (!sim::parseBenchList(words, start, &setups)) {
        std::fprintf(stderr, "kernel-unit-server: unknown bench words; known: %s\n",
                     sim::knownSetupWords().c_str());
        return 64;
    }
    if (usbGadget && setups.size() != 1) {
        std::fprintf(stderr, "kernel-unit-server: the USB gadget is one unit\n");
        return 64;
    }

    sigset_t handled;
    sigemptyset(&handled);
    for (int number : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) sigaddset(&handled, number);
    sigprocmask(SIG_BLOCK, &handled, nullptr);
    const int signals = signalfd(-1, &handled, SFD_CLOEXEC);
    if (signals < 0) die("signalfd");

    sim::reset();
    sim::setRealTime(true);
    for (const sim::UnitSetup& setup : setups) {
        Slot slot;
        slot.setup = setup;
        slot.benchId = sim::plugIn(sim::unitFor(setup));
        if (usbGadget) {
            makeGadget(slot);
        } else {
            slot.fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
            if (slot.fd < 0) die("/dev/uhid");
        }
        slots.push_back(slot);
    }
    for (std::size_t k = 0; k < slots.size(); ++k) {
        if (setups[k].pluggedIn) plug(slots[k]);
    }
    std::printf("ready\n");
    std::fflush(stdout);

    for (;;) {
        std::vector<pollfd> waiting{{signals, POLLIN, 0}};
        for (const Slot& slot : slots) waiting.push_back({slot.fd, POLLIN, 0});  // -1: ignored
        if (poll(waiting.data(), waiting.size(), -1) < 0) {
            if (errno == EINTR) continue;
            die("poll");
        }
        if (waiting[0].revents & POLLIN) {
            signalfd_siginfo info;
            if (read(signals, &info, sizeof info) != sizeof info) continue;
            if (info.ssi_signo == SIGUSR1) {
                for (Slot& slot : slots) plug(slot);
            } else if (info.ssi_signo == SIGUSR2) {
                for (Slot& slot : slots) unplug(slot);
            } else {
                break;
            }
        }
        for (std::size_t k = 0; k < slots.size(); ++k) {
            if (waiting[k + 1].revents & POLLIN) serve(slots[k]);
        }
    }
    writeTranscripts(transcript);
    for (Slot& slot : slots) unplug(slot);
    if (usbGadget) takeDownGadget();
    return 0;
}
