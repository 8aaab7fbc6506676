#include "cli_log.h"

#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "cli_texts.h"
#include "flash/firmware_image.h"
#include "engine/program_title.h"
#include "engine/text_ids.h"

namespace {

namespace fs = std::filesystem;

// The name of the logs' folder in the state folder: the program's, or the demo's own.
std::string& folderName() {
    static std::string name = "terval-updater";
    return name;
}

// Where the logs are kept: the XDG state folder, as an absolute path only.
std::string stateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state != nullptr && state[0] == '/') return std::string(state) + '/' + folderName();
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return std::string(home) + "/.local/state/" + folderName();
    return "";
}

// Whether the run was told that its log could not be written: it is told once.
bool& lossTold() {
    static bool told = false;
    return told;
}

std::string lossLine(Language language) {
    lossTold() = true;
    return catalogueUtf8(kTextLogNotWritten, language) + '\n';
}

// The kernel and the machine; not the host's name.
std::string systemName() {
    utsname name{};
    if (uname(&name) != 0) return "Linux";
    return std::string(name.sysname) + ' ' + name.release + ' ' + name.machine;
}

// The header of every log of the program.
sessionlog::Header logHeader() {
    const FirmwareImage image = firmwareImage();
    return {
        std::string("terval-updater-cli ") + programVersion(),
        image.expectedDigest != nullptr ? hexDigest(*image.expectedDigest) : std::string("unknown"),
        systemName()};
}

}  // namespace

void setLogFolderName(const std::string& name) { folderName() = name; }

void startCliLog(sessionlog::Log& log, const std::string& file, Clock& clock) {
    lossTold() = false;
    log.start(logHeader(), {file, file.empty() ? stateFolder() : std::string()}, clock);
}

void startUnitLog(sessionlog::Log& log, const std::string& file, const std::string& node,
                  Clock& clock) {
    const std::string suffix = '-' + fs::u8path(node).filename().u8string();
    sessionlog::Destination destination{"", "", suffix};
    if (file.empty()) {
        destination.folder = stateFolder();
    } else {
        const fs::path given = fs::u8path(file);
        fs::path named = given;
        named.replace_filename(fs::u8path(given.stem().u8string() + suffix) += given.extension());
        destination.file = named.u8string();
    }
    log.start(logHeader(), destination, clock);
}

std::string finishCliLog(sessionlog::Log& log, int exitCode, Language language) {
    log.note("exit code " + std::to_string(exitCode));
    if (log.write() || !log.lost() || lossTold()) return "";
    return lossLine(language);
}

std::string logFileLine(sessionlog::Log* log, Language language) {
    if (log == nullptr) return "";
    if (log->write()) return catalogueUtf8(kTextLogWritten, language, log->fileName());
    return log->lost() ? lossLine(language) : "";
}
