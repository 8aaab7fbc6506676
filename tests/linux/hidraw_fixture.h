// Stand-ins for a hidraw device: a sysfs tree in a temporary folder, and a SOCK_SEQPACKET socket
// pair (it keeps report boundaries, as hidraw does) whose far end a thread serves as the
// simulated programming unit would.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "device/hid.h"
#include "device/report.h"
#include "linux/hidraw_settings.h"
#include "sim/unit_model.h"

using Bytes = std::vector<std::uint8_t>;

inline long long millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
}

// A report of the given length whose leading bytes are given and the rest fill.
inline Bytes reportOf(std::initializer_list<std::uint8_t> leading, std::size_t length,
                      std::uint8_t fill = 0) {
    Bytes bytes(leading);
    bytes.resize(length, fill);
    return bytes;
}

// What the unit does with one request.
struct Answer {
    enum Kind { reply, silent, close } kind = reply;
    Bytes bytes = {};
    bool closeAfter = false;  // the unit goes away once it has sent the reply
};

// The unit's answer to the index-th request (from 0), given its state.
using Behaviour = std::function<Answer(sim::Unit& unit, const Bytes& request, unsigned index)>;

inline Answer asTheUnit(sim::Unit& unit, const Bytes& request, unsigned) {
    Bytes reply(kReportBufferSize);
    Bytes padded = request;
    padded.resize(kReportBufferSize, 0);
    sim::answerRequest(unit, padded.data(), reply.data());
    return {Answer::reply, reply};
}

// The socket pair. The session's end is non-blocking, as the hidraw node is opened; the unit's
// end is served by a thread once serve() is called, until the session's end closes, the unit
// closes its end, or nothing comes for kPeerWaitMs.
class SimPeer {
public:
    static constexpr int kPeerWaitMs = 15000;

    SimPeer() {
        // A write to a socket whose peer has closed raises SIGPIPE; hidraw never does, and the
        // backend reports EPIPE like any other errno.
        std::signal(SIGPIPE, SIG_IGN);
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) return;
        sessionEnd = ends[0];
        unitEnd = ends[1];
        nonBlocking = fcntl(sessionEnd, F_SETFL, O_NONBLOCK) == 0;
    }
    ~SimPeer() {
        if (sessionEnd >= 0) shutdown(sessionEnd, SHUT_RDWR);
        join();
        if (sessionEnd >= 0) close(sessionEnd);
        if (unitEnd >= 0) close(unitEnd);
    }
    SimPeer(const SimPeer&) = delete;
    SimPeer& operator=(const SimPeer&) = delete;

    bool ready() const { return sessionEnd >= 0 && unitEnd >= 0 && nonBlocking; }
    // The session's end as an open device: a duplicate, which the device closes when it goes;
    // the peer keeps its own, to shut the socket down.
    hid::OpenDevice adopt() const {
        return hid::hidraw::adoptDescriptor(fcntl(sessionEnd, F_DUPFD_CLOEXEC, 0));
    }

    void serve(Behaviour behaviour = asTheUnit) {
        peer = std::thread([this, behaviour] { run(behaviour); });
    }
    void join() {
        if (peer.joinable()) peer.join();
    }

    // From the unit's end, on the test's thread: a report the unit sends unasked.
    bool send(const Bytes& report) {
        return ::send(unitEnd, report.data(), report.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(report.size());
    }
    // The unit goes away; not while it is served.
    void closeUnitEnd() {
        if (unitEnd >= 0) close(unitEnd);
        unitEnd = -1;
    }

    sim::Unit unit;               // read it once the thread has been joined
    std::vector<Bytes> requests;  // as the unit received them
    int sessionEnd = -1;
    int unitEnd = -1;

private:
    void run(const Behaviour& behaviour) {
        for (unsigned index = 0;; ++index) {
            pollfd end{unitEnd, POLLIN, 0};
            if (poll(&end, 1, kPeerWaitMs) != 1) return;
            std::uint8_t buffer[512];
            const ssize_t got = recv(unitEnd, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            requests.emplace_back(buffer, buffer + got);
            const Answer answer = behaviour(unit, requests.back(), index);
            if (answer.kind == Answer::reply) {
                ::send(unitEnd, answer.bytes.data(), answer.bytes.size(), MSG_NOSIGNAL);
            }
            if (answer.kind == Answer::close || answer.closeAfter) {
                closeUnitEnd();
                return;
            }
        }
    }

    bool nonBlocking = false;
    std::thread peer;
};

// The number of file descriptors this process holds, for leak checks.
inline int openDescriptorCount() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    int count = 0;
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
    return count;
}
