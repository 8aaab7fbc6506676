// Times the Windows programs under Wine from outside, through the UI driver:
//  - the start-up of terval-updater.exe to its first painted window, against the minimal dialog:
//    from the process's creation to its dialog being visible and the program idle (a program
//    becomes idle only once its pending paints are done), the median of several starts each,
//    taken in turns, and the median of the turns' ratios (each start of the program against the
//    minimal dialog's start right after it), with the quartiles of those ratios as their spread;
//  - a whole update of the demo: from the OK of the warning box to the success text in the Hint
//    box, and the longest time the main window took meanwhile to answer a WM_NULL sent every
//    100 ms (Windows calls a window that does not answer for 5 s "Not Responding").
// Runs with the catalogue in English (LC_ALL=en_US.UTF-8). Prints "name value" lines for
// tools/bench; exits non-zero when a step did not go as it should.
//
//   wine-bench [--starts=N] [--update-only | --startup-only]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "ui/resource_ids.h"
#include "ui_driver.h"

namespace {

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kUpdateTimeoutMs = 180000;

double nowMs() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring catalogue(std::uint16_t id) {
    std::wstring text;
    const char16_t* stored = catalogueText(id, Language::english);
    for (; stored != nullptr && *stored != u'\0'; ++stored) text += static_cast<wchar_t>(*stored);
    return text;
}

// The process's dialog that no other window owns, looked for every millisecond: the driver's
// own wait looks every 50 ms, too coarse for a start-up of a few hundred.
HWND waitForDialog(DWORD processId, double deadlineMs) {
    while (nowMs() < deadlineMs) {
        for (HWND window : driver::processWindows(processId)) {
            wchar_t name[16] = {};
            GetClassNameW(window, name, 16);
            if (std::wcscmp(name, L"#32770") == 0 && GetWindow(window, GW_OWNER) == nullptr) {
                return window;
            }
        }
        Sleep(1);
    }
    return nullptr;
}

// Milliseconds from the start of exe to its painted, idle dialog; the dialog is then closed with
// its Close button (ID 2). Negative when it did not appear or did not end with exit code 0.
double timeStartUp(const std::wstring& exe) {
    driver::Program program;
    const double started = nowMs();
    if (!driver::launch(exe, &program)) return -1;
    // Idle first, then the dialog looked for: the look, every millisecond, asks Wine's server
    // about every window each time, and while it did so from the start it took some 20 ms from
    // each start, of either program. A program that is idle before its dialog is visible is
    // looked at as before.
    WaitForInputIdle(program.process.hProcess, kStartTimeoutMs);
    const HWND dialog = waitForDialog(program.process.dwProcessId, started + kStartTimeoutMs);
    const bool idle =
        dialog != nullptr && WaitForInputIdle(program.process.hProcess, kStartTimeoutMs) == 0;
    const double spent = nowMs() - started;
    if (!idle || !driver::pressButton(dialog, kCloseButton)) {
        driver::waitForExit(&program, 0);
        return -1;
    }
    return driver::waitForExit(&program) == 0 ? spent : -1;
}

// The value below which a share of the values lie (0.5: the median), the nearest one taken.
double quantile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto index =
        static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

double median(const std::vector<double>& values) { return quantile(values, 0.5); }

struct StartUps {
    double programMs;
    double minimalMs;
    std::vector<double> ratios;  // of each turn: the program's start over the minimal dialog's
};

// Start-ups of the two programs in turns, after one start of each that is not counted (Wine
// loads its own DLLs from disk the first time). Taken in turns, a machine that gets busier or
// quieter meanwhile weighs on both alike. False when a start failed.
bool timeStartUps(int starts, StartUps* result) {
    const std::wstring program = driver::wineHostPath(UPDATER_PROGRAM_FILE);
    const std::wstring minimal = driver::wineHostPath(MINIMAL_DIALOG_FILE);
    if (timeStartUp(program) < 0 || timeStartUp(minimal) < 0) return false;
    std::vector<double> programTimes;
    std::vector<double> minimalTimes;
    for (int i = 0; i < starts; ++i) {
        programTimes.push_back(timeStartUp(program));
        minimalTimes.push_back(timeStartUp(minimal));
        if (programTimes.back() < 0 || minimalTimes.back() < 0) return false;
        result->ratios.push_back(programTimes.back() / minimalTimes.back());
    }
    result->programMs = median(programTimes);
    result->minimalMs = median(minimalTimes);
    return true;
}

// The demo starts ready to update. Update, OK in the warning box, then the wait for the success
// text; milliseconds from the OK, or negative when a step failed. longestAnswerMs: the longest
// answer of the main window during the update.
double timeDemoUpdate(DWORD* longestAnswerMs) {
    driver::Program demo;
    if (!driver::start(driver::wineHostPath(UPDATER_DEMO_FILE), &demo, kStartTimeoutMs)) {
        driver::waitForExit(&demo, 0);
        return -1;
    }
    double spent = -1;
    driver::AnswerWatch watch(demo.mainWindow);
    if (driver::pressButton(demo.mainWindow, kUpdateButton)) {
        const HWND warning =
            driver::findMessageBox(demo.process.dwProcessId, catalogue(kTextWarningCaption));
        if (warning != nullptr) {
            driver::answerMessageBox(warning, IDOK);
            const double started = nowMs();
            if (driver::waitForControlText(demo.mainWindow, kHintBox,
                                           catalogue(kTextUpdateSucceeded), kUpdateTimeoutMs)) {
                spent = nowMs() - started;
            }
        }
    }
    *longestAnswerMs = watch.stop();
    driver::pressButton(demo.mainWindow, kCloseButton);
    return driver::waitForExit(&demo) == 0 ? spent : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int starts = 15;
    bool updateOnly = false;
    bool startupOnly = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--starts=", 9) == 0) {
            starts = std::max(1, std::atoi(argv[i] + 9));
        }
        if (std::strcmp(argv[i], "--update-only") == 0) updateOnly = true;
        if (std::strcmp(argv[i], "--startup-only") == 0) startupOnly = true;
    }

    if (!updateOnly) {
        StartUps startUps;
        if (!timeStartUps(starts, &startUps)) {
            std::fprintf(stderr, "wine-bench: a start-up failed\n");
            return 1;
        }
        std::printf("startup_program_ms %.1f\n", startUps.programMs);
        std::printf("startup_minimal_ms %.1f\n", startUps.minimalMs);
        std::printf("startup_ratio %.3f\n", median(startUps.ratios));
        std::printf("startup_ratio_q1 %.3f\n", quantile(startUps.ratios, 0.25));
        std::printf("startup_ratio_q3 %.3f\n", quantile(startUps.ratios, 0.75));
        std::printf("startup_runs %d\n", starts);
        std::fflush(stdout);
        if (startupOnly) return 0;
    }

    DWORD longestAnswerMs = 0;
    const double updateMs = timeDemoUpdate(&longestAnswerMs);
    if (updateMs < 0) {
        std::fprintf(stderr, "wine-bench: the demo's update did not end in success\n");
        return 1;
    }
    std::printf("update_wall_ms %.1f\n", updateMs);
    std::printf("update_longest_answer_ms %lu\n", static_cast<unsigned long>(longestAnswerMs));
    return 0;
}
