#include "cli_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// What the handler reads: set before it is installed, left alone while it may run.
std::string notice;
int noticeFd = -1;
std::atomic<bool> heldOne{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used in a signal handler");

// Writes the notice on the first held signal; write(2) alone, errno left as it was. A terminal
// that takes no output holds the write up: the handler runs on the thread that draws the progress,
// since the threads that write units take none of the held signals, so no request waits for it.
void onHeldSignal(int) {
    if (heldOne.exchange(true)) return;
    const int savedErrno = errno;
    for (std::size_t done = 0; done < notice.size();) {
        const ssize_t written = write(noticeFd, notice.data() + done, notice.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        done += static_cast<std::size_t>(written);
    }
    errno = savedErrno;
}

bool wasIgnored(const struct sigaction& action) {
    return !(action.sa_flags & SA_SIGINFO) && action.sa_handler == SIG_IGN;
}

}  // namespace

constexpr int WritingSignals::kHeld[];
constexpr int WritingSignals::kIgnored[];

WritingSignals::WritingSignals(std::string text, int fd) {
    notice = std::move(text);
    noticeFd = fd;
    heldOne = false;

    struct sigaction holding {};
    holding.sa_handler = onHeldSignal;
    holding.sa_flags = SA_RESTART;  // a held signal breaks no read or wait off
    sigemptyset(&holding.sa_mask);
    for (int signal : kHeld) sigaddset(&holding.sa_mask, signal);  // said once, not nested
    struct sigaction ignoring {};
    ignoring.sa_handler = SIG_IGN;
    sigemptyset(&ignoring.sa_mask);

    std::size_t i = 0;
    for (int signal : kHeld) {
        sigaction(signal, nullptr, &before_[i]);
        if (!wasIgnored(before_[i])) sigaction(signal, &holding, nullptr);
        ++i;
    }
    for (int signal : kIgnored) sigaction(signal, &ignoring, &before_[i++]);
    sigaction(SIGPIPE, &ignoring, &pipeBefore_);
}

void WritingSignals::writingEnded() {
    if (!writing_) return;
    writing_ = false;
    std::size_t i = 0;
    for (int signal : kHeld) sigaction(signal, &before_[i++], nullptr);
    for (int signal : kIgnored) sigaction(signal, &before_[i++], nullptr);
}

bool WritingSignals::noticeGiven() { return heldOne; }

WritingSignals::HeldOff::HeldOff() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kHeld) sigaddset(&held, signal);
    pthread_sigmask(SIG_BLOCK, &held, &before_);
}

WritingSignals::HeldOff::~HeldOff() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }

WritingSignals::~WritingSignals() {
    writingEnded();
    sigaction(SIGPIPE, &pipeBefore_, nullptr);
}
