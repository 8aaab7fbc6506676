// The signals around the update's writing. Stopped halfway, the writing would leave the controller
// without firmware; so from the first command to the release of the lock nothing from outside
// ends, stops or slows it:
// - Ctrl-C, Ctrl-\, kill and a hang-up (SIGINT, SIGQUIT, SIGTERM, SIGHUP) are held: the first of
//   them writes the notice at once, straight from the handler, and the writing goes on.
// - Ctrl-Z and a background terminal's stops (SIGTSTP, SIGTTIN, SIGTTOU) are ignored.
// - A reader gone from a pipe (SIGPIPE) is ignored: the write fails instead, and the program's
//   streams swallow it. This lasts until the outcome has been told too.
// A signal ignored when the writing starts stays ignored. Afterwards each signal acts as before.
#pragma once

#include <signal.h>

#include <string>

class WritingSignals {
public:
    // notice: the bytes to write to noticeFd, prepared here so that the handler only writes.
    WritingSignals(std::string notice, int noticeFd);
    ~WritingSignals();
    WritingSignals(const WritingSignals&) = delete;
    WritingSignals& operator=(const WritingSignals&) = delete;

    // The lock is released, or the writing failed: every signal but SIGPIPE acts as before.
    void writingEnded();

    // Whether the notice has been written since the writing began.
    static bool noticeGiven();

    // While one lives, the calling thread takes none of the held signals: they wait for a thread
    // that takes them (the threads it starts meanwhile never do), or for its end.
    class HeldOff {
    public:
        HeldOff();
        ~HeldOff();
        HeldOff(const HeldOff&) = delete;
        HeldOff& operator=(const HeldOff&) = delete;

    private:
        sigset_t before_;
    };

private:
    static constexpr int kHeld[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    static constexpr int kIgnored[] = {SIGTSTP, SIGTTIN, SIGTTOU};
    struct sigaction before_[sizeof kHeld / sizeof *kHeld + sizeof kIgnored / sizeof *kIgnored];
    struct sigaction pipeBefore_ {};
    bool writing_ = true;
};
