#include "cli_arguments.h"

#include <getopt.h>

namespace {

enum Option { kHelp = 'h', kYes = 'y', kVersion = 256, kLog, kJson, kDevice, kAll, kWait };

// The options before the command, and those of each command.
const option kLeadingOptions[] = {{"help", no_argument, nullptr, kHelp},
                                  {"version", no_argument, nullptr, kVersion},
                                  {"log", required_argument, nullptr, kLog},
                                  {nullptr, 0, nullptr, 0}};
const option kStatusOptions[] = {{"json", no_argument, nullptr, kJson},
                                 {"device", required_argument, nullptr, kDevice},
                                 {"log", required_argument, nullptr, kLog},
                                 {nullptr, 0, nullptr, 0}};
const option kUpdateOptions[] = {{"yes", no_argument, nullptr, kYes},
                                 {"wait", no_argument, nullptr, kWait},
                                 {"device", required_argument, nullptr, kDevice},
                                 {"all", no_argument, nullptr, kAll},
                                 {"log", required_argument, nullptr, kLog},
                                 {nullptr, 0, nullptr, 0}};

// What became of an option: taken and the next read; taken and the reading over; refused.
enum class Taken { next, last, refused };

// getopt_long over words, words[0] standing for the program's name; it stops at the first word
// that is no option ('+' leads shortOptions) and tells a missing value apart (':'). Each option
// goes to take(option, value). An option not understood or refused ends the reading with the word
// that failed in *failed. The index of the first word not read; -1 after a failure.
template <typename Take>
int readOptions(std::vector<std::string>& words, const char* shortOptions,
                const option* longOptions, std::string* failed, Take take) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    optind = 0;  // a scan from the start, as glibc begins one anew
    opterr = 0;  // the errors are this program's own
    for (;;) {
        int longIndex = -1;
        const int found = getopt_long(argc, argv.data(), shortOptions, longOptions, &longIndex);
        if (found == -1) return optind;
        // The word of the option: the last one read, or the one before it when that was the
        // option's value.
        int at = optind - 1;
        if (optarg != nullptr && at > 0 && optarg == argv[at]) --at;
        const std::string word = words[at];
        // getopt_long takes an unambiguous beginning of a long name as the name; this program
        // takes the whole name only.
        const bool spelledOut =
            longIndex < 0 ||
            word.substr(0, word.find('=')) == std::string("--") + longOptions[longIndex].name;
        const Taken taken = found == '?' || found == ':' || !spelledOut
                                ? Taken::refused
                                : take(found, optarg != nullptr ? optarg : "");
        if (taken == Taken::last) return optind;
        if (taken == Taken::refused) {
            // A short option not understood is named alone: it may be one of several in a word.
            const bool shortOne = found == '?' && optopt != 0 && word.compare(0, 2, "--") != 0;
            *failed = shortOne ? std::string("-") + static_cast<char>(optopt) : word;
            return -1;
        }
    }
}

}  // namespace

CommandLine readCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    std::vector<std::string> words{"terval-updater-cli"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    bool logGiven = false;
    const auto takeLog = [&](const std::string& file) {
        if (logGiven) return Taken::refused;
        logGiven = true;
        line.logFile = file;
        return Taken::next;
    };
    bool helpOrVersion = false;
    const int command = readOptions(words, "+:h", kLeadingOptions, &line.notUnderstood,
                                    [&](int option, const std::string& value) {
                                        if (option == kLog) return takeLog(value);
                                        helpOrVersion = true;
                                        line.command = option == kVersion
                                                           ? CommandLine::Command::version
                                                           : CommandLine::Command::help;
                                        return Taken::last;
                                    });
    if (command < 0 || helpOrVersion) return line;
    if (command >= static_cast<int>(words.size())) {
        line.notUnderstood = "?";
        return line;
    }
    const std::string name = words[command];
    const bool update = name == "update";
    if (!update && name != "status") {
        line.notUnderstood = name;
        return line;
    }
    line.command = update ? CommandLine::Command::update : CommandLine::Command::status;
    std::vector<std::string> rest(words.begin() + command, words.end());
    const auto take = [&](int option, const std::string& value) {
        const bool chosen = line.all || !line.device.empty();
        switch (option) {
            case kLog: return takeLog(value);
            case kJson: line.json = true; return Taken::next;
            case kYes: line.answerYes = true; return Taken::next;
            case kWait: line.wait = true; return Taken::next;
            case kAll:
                if (chosen) return Taken::refused;
                line.all = true;
                return Taken::next;
            case kDevice:
                if (chosen || value.empty()) return Taken::refused;
                line.device = value;
                return Taken::next;
            default: return Taken::refused;
        }
    };
    const int after =
        readOptions(rest, update ? "+:y" : "+:", update ? kUpdateOptions : kStatusOptions,
                    &line.notUnderstood, take);
    if (after >= 0 && after < static_cast<int>(rest.size())) line.notUnderstood = rest[after];
    return line;
}
