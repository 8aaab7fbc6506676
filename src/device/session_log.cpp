#include "device/session_log.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "device/report.h"

namespace sessionlog {
namespace {

namespace fs = std::filesystem;

enum class Kind : std::uint8_t { unit, out, in, outFailed, inFailed, note };

// One recorded event: a copy of its report, or the index of its text.
struct Entry {
    std::uint64_t ms;
    Kind kind;
    std::uint8_t length;
    hid::Error error;  // of a failed transfer; for a unit or a note, the index of its text
    std::uint8_t bytes[kReportBufferSize];
};

// Entries enough for a whole update of a 128 KiB image: its exchanges never wait for memory.
constexpr std::size_t kEntriesReserved = 2 * (128 * 1024 / 48 + 64);

struct Log {
    bool started = false;
    bool failed = false;  // the file could not be written: left out from then on
    bool unitSeen = false;
    Header header;
    Destination destination;
    std::uint64_t (*clockMs)() = nullptr;
    std::uint64_t startMs = 0;
    std::string startedUtc;   // 2026-12-10T15:51:28Z
    std::string startedName;  // 2026-12-10_15-51-28-123
    std::vector<Entry> entries;
    std::vector<std::string> texts;
    std::size_t written = 0;  // entries already in the file
    bool headerWritten = false;
    std::string fileName;
};

Log& log() {
    static Log* current = new Log;  // lives to the end, for a write from the last moments
    return *current;
}

std::uint64_t steadyMs() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
}

std::uint64_t elapsedMs() { return log().clockMs() - log().startMs; }

Entry& add(Kind kind) {
    Log& current = log();
    current.entries.push_back(Entry{elapsedMs(), kind, 0, 0, {}});
    return current.entries.back();
}

void addReport(Kind kind, const std::uint8_t* report, std::uint32_t length, hid::Error error) {
    Entry& entry = add(kind);
    entry.length = static_cast<std::uint8_t>(std::min<std::uint32_t>(length, kReportBufferSize));
    entry.error = error;
    std::memcpy(entry.bytes, report, entry.length);
}

void addText(Kind kind, std::string text) {
    Log& current = log();
    current.texts.push_back(std::move(text));
    add(kind).error = static_cast<hid::Error>(current.texts.size() - 1);
}

void setStartTimes(Log& current) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long millis = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000);
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    current.startedUtc = text;
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &utc);
    char name[80];
    std::snprintf(name, sizeof name, "%s-%03ld", text, millis);
    current.startedName = name;
}

void appendHex(std::string& text, const std::uint8_t* bytes, std::size_t length) {
    char field[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(field, sizeof field, " %02x", bytes[i]);
        text += field;
    }
}

std::string headerText(const Log& current) {
    return std::string("# ") + kProgramKey + ": " + current.header.program + "\n# " +
           kImageDigestKey + ": " + current.header.imageDigest + "\n# " + kSystemKey + ": " +
           current.header.system + "\n# " + kStartedKey + ": " + current.startedUtc + "\n";
}

void appendEntry(std::string& text, const Log& current, const Entry& entry) {
    const std::string ms = std::to_string(entry.ms);
    switch (entry.kind) {
        case Kind::out:
        case Kind::in:
            text += ms + ' ' + (entry.kind == Kind::out ? kOutWord : kInWord);
            appendHex(text, entry.bytes, entry.length);
            break;
        case Kind::outFailed:
            text += "# " + ms + ' ' + kOutWord + ' ' + kFailedWord + " error " +
                    std::to_string(entry.error) + ':';
            appendHex(text, entry.bytes, entry.length);
            break;
        case Kind::inFailed:
            text += "# " + ms + ' ' + kInWord + ' ' + kFailedWord + " error " +
                    std::to_string(entry.error);
            break;
        case Kind::unit:
        case Kind::note: text += "# " + ms + ' ' + current.texts[entry.error]; break;
    }
    text += '\n';
}

// The folder's logs beyond the newest kLogsKept go; the names sort by their start times.
void pruneFolder(const fs::path& folder) {
    std::error_code error;
    std::vector<fs::path> logs;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".log" && it->is_regular_file(error)) {
            logs.push_back(it->path());
        }
    }
    if (logs.size() <= kLogsKept) return;
    std::sort(logs.begin(), logs.end());
    for (std::size_t i = 0; i + kLogsKept < logs.size(); ++i) fs::remove(logs[i], error);
}

// The file of a new log in the folder, named by the start time; empty when the folder cannot be
// made.
std::string newFileInFolder(const Log& current) {
    const fs::path folder = fs::u8path(current.destination.folder);
    std::error_code error;
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error)) return "";
    for (int copy = 1; copy < 100; ++copy) {
        std::string name = current.startedName;
        if (copy > 1) name += '-' + std::to_string(copy);
        const fs::path file = folder / fs::u8path(name + ".log");
        if (!fs::exists(file, error)) return file.u8string();
    }
    return "";
}

bool appendToFile(const std::string& fileName, const std::string& text, bool fresh) {
    std::ofstream file(fs::u8path(fileName),
                       std::ios::binary | (fresh ? std::ios::trunc : std::ios::app));
    if (!file) return false;
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    return !file.fail();
}

}  // namespace

void start(const Header& header, const Destination& destination, std::uint64_t (*clockMs)()) {
    Log& current = log();
    current = Log{};
    current.started = true;
    current.header = header;
    current.destination = destination;
    current.clockMs = clockMs != nullptr ? clockMs : steadyMs;
    current.startMs = current.clockMs();
    current.entries.reserve(kEntriesReserved);
    setStartTimes(current);
}

void stop() { log() = Log{}; }

void unitOpened(const hid::DeviceInfo& unit) {
    if (!log().started) return;
    log().unitSeen = true;
    char text[96];
    std::snprintf(text, sizeof text, "%s vendor %04x product %04x output %u input %u path ",
                  kUnitWord, unit.vendorId, unit.productId, unit.outputReportLength,
                  unit.inputReportLength);
    addText(Kind::unit, text + unit.path);
}

void reportWritten(const std::uint8_t* report, std::uint32_t length) {
    if (log().started) addReport(Kind::out, report, length, 0);
}

void writeFailed(const std::uint8_t* report, std::uint32_t length, hid::Error error) {
    if (log().started) addReport(Kind::outFailed, report, length, error);
}

void reportRead(const std::uint8_t* report, std::uint32_t length) {
    if (log().started) addReport(Kind::in, report, length, 0);
}

void readFailed(hid::Error error) {
    if (log().started) add(Kind::inFailed).error = error;
}

void note(const std::string& text) {
    if (log().started) addText(Kind::note, text);
}

void noteResult(const char* step, std::int32_t result, std::uint32_t lastError) {
    if (!log().started) return;
    char text[128];
    std::snprintf(text, sizeof text, "step %s: result 0x%08x, last error 0x%08x", step,
                  static_cast<unsigned>(result), static_cast<unsigned>(lastError));
    note(text);
}

std::string pendingText() {
    const Log& current = log();
    std::string text;
    if (!current.headerWritten) text = headerText(current);
    for (std::size_t i = current.written; i < current.entries.size(); ++i) {
        appendEntry(text, current, current.entries[i]);
    }
    return text;
}

bool write() {
    Log& current = log();
    if (!current.started || current.failed || !current.unitSeen) return false;
    const bool fresh = current.fileName.empty();
    if (fresh) {
        current.fileName = !current.destination.file.empty()     ? current.destination.file
                           : !current.destination.folder.empty() ? newFileInFolder(current)
                                                                 : std::string();
    }
    if (current.fileName.empty() || !appendToFile(current.fileName, pendingText(), fresh)) {
        current.failed = true;
        current.fileName.clear();
        return false;
    }
    current.headerWritten = true;
    current.written = current.entries.size();
    if (fresh && current.destination.file.empty()) {
        pruneFolder(fs::u8path(current.destination.folder));
    }
    return true;
}

std::string fileName() { return log().fileName; }

}  // namespace sessionlog
