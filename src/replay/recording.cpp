#include "replay/recording.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "device/session_log.h"

namespace replay {
namespace {

std::vector<std::string> wordsOf(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

bool readNumber(const std::string& word, int base, unsigned long limit, unsigned long* value) {
    if (word.empty()) return false;
    char* end = nullptr;
    *value = std::strtoul(word.c_str(), &end, base);
    return *end == '\0' && *value <= limit;
}

// Hexadecimal bytes from words[from] on.
bool readBytes(const std::vector<std::string>& words, std::size_t from,
               std::vector<std::uint8_t>* bytes) {
    for (std::size_t i = from; i < words.size(); ++i) {
        unsigned long byte = 0;
        if (words[i].size() != 2 || !readNumber(words[i], 16, 0xFF, &byte)) return false;
        bytes->push_back(static_cast<std::uint8_t>(byte));
    }
    return !bytes->empty();
}

// "# <ms> unit vendor 5ea7 product 0002 output 60 input 60 path <path>"
bool readUnit(const std::string& line, const std::vector<std::string>& words, Event* event) {
    unsigned long vendor = 0, product = 0, output = 0, input = 0;
    const std::size_t path = line.find(" path ");
    if (words.size() < 12 || words[3] != "vendor" || words[5] != "product" ||
        words[7] != "output" || words[9] != "input" || path == std::string::npos ||
        !readNumber(words[4], 16, 0xFFFF, &vendor) || !readNumber(words[6], 16, 0xFFFF, &product) ||
        !readNumber(words[8], 10, 0xFFFF, &output) || !readNumber(words[10], 10, 0xFFFF, &input)) {
        return false;
    }
    event->kind = EventKind::unit;
    event->unit =
        hid::DeviceInfo{line.substr(path + 6), static_cast<std::uint16_t>(vendor),
                        static_cast<std::uint16_t>(product), static_cast<std::uint16_t>(output),
                        static_cast<std::uint16_t>(input)};
    return true;
}

// "# <ms> OUT failed, error <n>: <bytes>" or "# <ms> IN failed, error <n>"
bool readFailure(const std::vector<std::string>& words, Event* event) {
    const bool out = words[2] == sessionlog::kOutWord;
    std::string number = words.size() > 5 ? words[5] : "";
    if (out && !number.empty() && number.back() == ':') number.pop_back();
    unsigned long error = 0;
    if (words.size() < 6 || words[4] != "error" || !readNumber(number, 10, 0xFFFFFFFF, &error)) {
        return false;
    }
    event->kind = out ? EventKind::outFailed : EventKind::inFailed;
    event->error = static_cast<hid::Error>(error);
    return !out || readBytes(words, 6, &event->bytes);
}

// A line the replay serves into *event; *served false for the others.
bool readLine(const std::string& line, Event* event, bool* served) {
    const std::vector<std::string> words = wordsOf(line);
    *served = false;
    if (words.empty()) return true;
    if (words[0] != "#") {
        *served = true;
        if (words.size() < 3) return false;
        event->kind = words[1] == sessionlog::kOutWord ? EventKind::out : EventKind::in;
        return (words[1] == sessionlog::kOutWord || words[1] == sessionlog::kInWord) &&
               readBytes(words, 2, &event->bytes);
    }
    if (words.size() < 3) return true;
    if (words[2] == sessionlog::kUnitWord) {
        *served = true;
        return readUnit(line, words, event);
    }
    if (words.size() > 3 && words[3] == sessionlog::kFailedWord &&
        (words[2] == sessionlog::kOutWord || words[2] == sessionlog::kInWord)) {
        *served = true;
        return readFailure(words, event);
    }
    return true;
}

// "# <key>: <value>" of the header.
bool headerValue(const std::string& line, const char* key, std::string* value) {
    const std::string prefix = std::string("# ") + key + ": ";
    if (line.compare(0, prefix.size(), prefix) != 0) return false;
    *value = line.substr(prefix.size());
    return true;
}

}  // namespace

bool readRecording(const std::string& text, Recording* recording, std::string* problem) {
    *recording = Recording{};
    std::istringstream lines(text);
    std::size_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (headerValue(line, sessionlog::kProgramKey, &recording->program) ||
            headerValue(line, sessionlog::kImageDigestKey, &recording->imageDigest)) {
            continue;
        }
        Event event{EventKind::out, number, {}, 0, {}};
        bool served = false;
        if (!readLine(line, &event, &served)) {
            *problem = "line " + std::to_string(number) + " cannot be read: " + line.substr(0, 60);
            return false;
        }
        if (served) recording->events.push_back(std::move(event));
    }
    if (recording->events.empty() || recording->events.front().kind != EventKind::unit) {
        *problem = "no unit is opened before the first report";
        return false;
    }
    return true;
}

bool readRecordingFile(const std::string& fileName, Recording* recording, std::string* problem) {
    std::ifstream file(std::filesystem::u8path(fileName), std::ios::binary);
    if (!file) {
        *problem = fileName + " cannot be read";
        return false;
    }
    // Read up to the bound and one byte more, never whole: the name may be a device or a pipe
    // without end.
    std::string text(kLargestRecording + 1, '\0');
    file.read(&text[0], static_cast<std::streamsize>(text.size()));
    if (file.bad()) {
        *problem = fileName + " cannot be read";
        return false;
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.size() > kLargestRecording) {
        *problem = fileName + " is larger than " +
                   std::to_string(kLargestRecording / (1024 * 1024)) +
                   " MB, more than any session log";
        return false;
    }
    return readRecording(text, recording, problem);
}

}  // namespace replay
