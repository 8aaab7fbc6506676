// The command line of the command-line program, read in one place (getopt_long): the command, its
// options, and what was not understood.
#pragma once

#include <string>
#include <vector>

struct CommandLine {
    enum class Command { help, version, status, update };
    Command command = Command::help;
    // What was not understood, as the usage error names it; empty when all was.
    std::string notUnderstood;
    std::string logFile;     // --log FILE; empty when not given
    std::string device;      // --device PATH: that unit alone; empty when not given
    bool all = false;        // --all: every unit that is ready (update)
    bool json = false;       // --json (status)
    bool answerYes = false;  // --yes, -y (update)
    bool wait = false;       // --wait (update)
};

// Reads the arguments after the program's name: --help, -h or --version alone (what follows them
// is not looked at), or a command with its options; --log FILE before or after the command. Long
// options are taken as spelt out in full, or with "=VALUE"; --device and --all are one choice,
// made once.
CommandLine readCommandLine(const std::vector<std::string>& arguments);
