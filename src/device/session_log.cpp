#include "device/session_log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

struct Record {
    bool started = false;
    bool lost = false;  // the last write failed
    bool unitSeen = false;
    Header header;
    Destination destination;
    Clock* clock = nullptr;
    std::uint64_t startMs = 0;
    std::string startedUtc;   // 2026-12-10T15:51:28Z
    std::string startedName;  // 2026-12-10_15-51-28-123
    std::vector<Entry> entries;
    std::vector<std::string> texts;
    std::string fileName;
};

std::uint64_t elapsedMs(const Record& current) { return current.clock->nowMs() - current.startMs; }

Entry& add(Record& current, Kind kind) {
    current.entries.push_back(Entry{elapsedMs(current), kind, 0, 0, {}});
    return current.entries.back();
}

void addReport(Record& current, Kind kind, const std::uint8_t* report, std::uint32_t length,
               hid::Error error) {
    Entry& entry = add(current, kind);
    entry.length = static_cast<std::uint8_t>(std::min<std::uint32_t>(length, kReportBufferSize));
    entry.error = error;
    std::memcpy(entry.bytes, report, entry.length);
}

void addText(Record& current, Kind kind, std::string text) {
    current.texts.push_back(std::move(text));
    add(current, kind).error = static_cast<hid::Error>(current.texts.size() - 1);
}

std::tm utcOf(std::time_t seconds) {
    std::tm utc{};
#ifdef _WIN32
    gmtime_s(&utc, &seconds);
#else
    gmtime_r(&seconds, &utc);
#endif
    return utc;
}

void setStartTimes(Record& current) {
    const auto now = std::chrono::system_clock::now();
    const std::tm utc = utcOf(std::chrono::system_clock::to_time_t(now));
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    current.startedUtc = text;
    current.startedName = logNameAt(now);
}

void appendHex(std::string& text, const std::uint8_t* bytes, std::size_t length) {
    char field[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(field, sizeof field, " %02x", bytes[i]);
        text += field;
    }
}

std::string headerText(const Record& current) {
    return std::string("# ") + kProgramKey + ": " + current.header.program + "\n# " +
           kImageDigestKey + ": " + current.header.imageDigest + "\n# " + kSystemKey + ": " +
           current.header.system + "\n# " + kStartedKey + ": " + current.startedUtc + "\n";
}

void appendEntry(std::string& text, const Record& current, const Entry& entry) {
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

// The folder's logs beyond the newest kLogsKept go; the names sort by their start times. The
// run's own file (own) stays whatever its age: a long run may end after many newer ones.
void pruneFolder(const fs::path& folder, const fs::path& own) {
    std::error_code error;
    std::vector<fs::path> others;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() == ".log" && it->path().filename() != own.filename() &&
            it->is_regular_file(error)) {
            others.push_back(it->path());
        }
    }
    if (others.size() < kLogsKept) return;
    std::sort(others.begin(), others.end());
    for (std::size_t i = 0; i + kLogsKept - 1 < others.size(); ++i) fs::remove(others[i], error);
}

// The file operations that a log needs from the system: new files readable by their owner alone,
// created exclusively where asked, and written through to the disk before they count.
#ifdef _WIN32
int openNewFile(const fs::path& file) {
    return _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}
bool writeWhole(int descriptor, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const unsigned chunk =
            static_cast<unsigned>(std::min<std::size_t>(text.size() - done, 1u << 20));
        const int written = _write(descriptor, text.data() + done, chunk);
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}
bool syncAndClose(int descriptor) {
    const bool synced = _commit(descriptor) == 0;
    return _close(descriptor) == 0 && synced;
}
int processId() { return _getpid(); }
#else
int openNewFile(const fs::path& file) {
    return ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
}
bool writeWhole(int descriptor, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(descriptor, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}
bool syncAndClose(int descriptor) {
    const bool synced = ::fsync(descriptor) == 0;
    return ::close(descriptor) == 0 && synced;
}
int processId() { return static_cast<int>(::getpid()); }
#endif

// The folder of the logs, made when missing. On Linux it is the user's own (0700), one made by
// an earlier version included; on Windows it lies under the user's own %LOCALAPPDATA%.
bool makeFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder.parent_path(), error);
#ifdef _WIN32
    fs::create_directory(folder, error);
#else
    if (::mkdir(folder.c_str(), 0700) != 0 && errno == EEXIST) ::chmod(folder.c_str(), 0700);
#endif
    return fs::is_directory(folder, error);
}

// A new log's file in the folder, named by the start time and created empty so that no other
// copy takes the name (copies started in the same millisecond get "-2", "-3", ...); empty when
// none can be created.
std::string newFileInFolder(const Record& current) {
    const fs::path folder = fs::u8path(current.destination.folder);
    if (!makeFolder(folder)) return "";
    for (int copy = 1; copy < 100; ++copy) {
        std::string name = current.startedName + current.destination.nameSuffix;
        if (copy > 1) name += '-' + std::to_string(copy);
        const fs::path file = folder / fs::u8path(name + ".log");
        const int descriptor = openNewFile(file);
        if (descriptor >= 0) return syncAndClose(descriptor) ? file.u8string() : "";
        if (errno != EEXIST) return "";
    }
    return "";
}

// Replaces the file with text whole: written to a new file beside it and renamed over it, so
// that a full disk or a crash leaves the earlier version, never a part.
bool replaceFile(const std::string& fileName, const std::string& text) {
    const fs::path file = fs::u8path(fileName);
    fs::path temporary = file;
    temporary += "." + std::to_string(processId()) + ".tmp";
    std::error_code error;
    fs::remove(temporary, error);  // one left by a copy that ended half-way
    const int descriptor = openNewFile(temporary);
    if (descriptor < 0) return false;
    const bool written = writeWhole(descriptor, text);
    if (syncAndClose(descriptor) && written) {
        fs::rename(temporary, file, error);
        if (!error) return true;
    }
    fs::remove(temporary, error);
    return false;
}

}  // namespace

std::string logNameAt(std::chrono::system_clock::time_point start) {
    const std::tm utc = utcOf(std::chrono::system_clock::to_time_t(start));
    const long millis = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch()).count() %
        1000);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &utc);
    char name[80];
    std::snprintf(name, sizeof name, "%s-%03ld", text, millis);
    return name;
}

// What a log holds, kept out of its header.
struct Log::State : Record {};

Log::Log() : state_(new State) {}

Log::~Log() { delete state_; }

void Log::start(const Header& header, const Destination& destination, Clock& clock) {
    State& current = *state_;
    static_cast<Record&>(current) = Record{};
    current.started = true;
    current.header = header;
    current.destination = destination;
    current.clock = &clock;
    current.startMs = clock.nowMs();
    current.entries.reserve(kEntriesReserved);
    setStartTimes(current);
}

void Log::stop() { static_cast<Record&>(*state_) = Record{}; }

void Log::unitOpened(const hid::DeviceInfo& unit) {
    if (!state_->started) return;
    state_->unitSeen = true;
    char text[96];
    std::snprintf(text, sizeof text, "%s vendor %04x product %04x output %u input %u path ",
                  kUnitWord, unit.vendorId, unit.productId, unit.outputReportLength,
                  unit.inputReportLength);
    addText(*state_, Kind::unit, text + unit.path);
}

void Log::reportWritten(const std::uint8_t* report, std::uint32_t length) {
    if (state_->started) addReport(*state_, Kind::out, report, length, 0);
}

void Log::writeFailed(const std::uint8_t* report, std::uint32_t length, hid::Error error) {
    if (state_->started) addReport(*state_, Kind::outFailed, report, length, error);
}

void Log::reportRead(const std::uint8_t* report, std::uint32_t length) {
    if (state_->started) addReport(*state_, Kind::in, report, length, 0);
}

void Log::readFailed(hid::Error error) {
    if (state_->started) add(*state_, Kind::inFailed).error = error;
}

void Log::note(const std::string& text) {
    if (state_->started) addText(*state_, Kind::note, text);
}

void Log::noteResult(const char* step, std::int32_t result, std::uint32_t lastError) {
    if (!state_->started) return;
    char text[128];
    std::snprintf(text, sizeof text, "step %s: result 0x%08x, last error 0x%08x", step,
                  static_cast<unsigned>(result), static_cast<unsigned>(lastError));
    note(text);
}

std::string Log::text() const {
    const Record& current = *state_;
    std::string text = headerText(current);
    for (const Entry& entry : current.entries) appendEntry(text, current, entry);
    return text;
}

bool Log::write() {
    Record& current = *state_;
    if (!current.started || !current.unitSeen) return false;
    // No place was given (no home folder): recorded only, which is no loss.
    if (current.destination.file.empty() && current.destination.folder.empty()) return false;
    const bool fresh = current.fileName.empty();
    if (fresh) {
        current.fileName =
            !current.destination.file.empty() ? current.destination.file : newFileInFolder(current);
        if (current.fileName.empty()) {
            current.lost = true;
            return false;
        }
    }
    if (!replaceFile(current.fileName, text())) {
        current.lost = true;
        if (fresh) {
            // The empty file that held the name goes: nothing of the log is there.
            std::error_code error;
            if (current.destination.file.empty()) fs::remove(fs::u8path(current.fileName), error);
            current.fileName.clear();
        }
        return false;
    }
    current.lost = false;
    if (fresh && current.destination.file.empty()) {
        pruneFolder(fs::u8path(current.destination.folder), fs::u8path(current.fileName));
    }
    return true;
}

bool Log::lost() const { return state_->lost; }

std::string Log::fileName() const { return state_->fileName; }

}  // namespace sessionlog
