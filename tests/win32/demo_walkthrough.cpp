// One whole update of the demo, walked through from outside as a person would do it, for
// tools/demo on a machine without a display: screenshots of the start (the ready window with the
// bench), the progress window over the main window, and the end, and the update's wall time
// beside the protocol's fixed waits for the carried image.
//
//   demo-walkthrough DEMO-EXE OUTPUT-FOLDER     (paths of the host; run under tools/wine-run)
//
// It writes demo-start.bmp, demo-progress.bmp and demo-end.bmp into OUTPUT-FOLDER, and exits
// non-zero when a step does not come as it should.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/catalogue.h"
#include "ui/resource_ids.h"
#include "ui_driver.h"

namespace {

constexpr DWORD kStepTimeoutMs = 20000;
constexpr DWORD kUpdateTimeoutMs = 180000;
constexpr int kPictureProgress = 40;  // the progress window is pictured once the bar is this full
constexpr DWORD kPaintMs = 500;       // for a window that has just moved to paint itself

// The protocol's fixed waits: 20 ms before each of four commands, 1000 ms inside the erase and
// 4000 ms after it; then 20 ms after every block of 48 bytes.
constexpr unsigned kFixedWaitsMs = 5080;
constexpr unsigned kBlockWaitMs = 20;
constexpr unsigned kBlockBytes = 48;

std::wstring text(std::uint16_t id, Language language) {
    std::wstring result;
    for (const char16_t* c = catalogueText(id, language); c != nullptr && *c != u'\0'; ++c) {
        result += static_cast<wchar_t>(*c);
    }
    return result;
}

// The size of resource 151, the image that the demo sends; 0 when it cannot be read.
DWORD carriedImageSize(const std::wstring& exe) {
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (module == nullptr) return 0;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(kFirmwareImageId), RT_RCDATA);
    const DWORD size = resource != nullptr ? SizeofResource(module, resource) : 0;
    FreeLibrary(module);
    return size;
}

bool fail(const char* what) {
    std::fprintf(stderr, "demo-walkthrough: %s\n", what);
    return false;
}

struct Walk {
    driver::Program demo;
    HWND window = nullptr;
    HWND bench = nullptr;
    Language language = Language::english;
    std::string outputFolder;

    std::wstring picture(const char* name) const {
        return driver::wineHostPath(outputFolder + "/" + name + ".bmp");
    }
    DWORD processId() const { return demo.process.dwProcessId; }
};

// Waits until the bench window has moved beside the main window, level with its top, or below it
// (it does so on its own timer), and has had time to paint there.
bool waitForBenchBeside(const Walk& walk) {
    const ULONGLONG deadline = GetTickCount64() + kStepTimeoutMs;
    while (GetTickCount64() < deadline) {
        RECT main{};
        RECT bench{};
        GetWindowRect(walk.window, &main);
        GetWindowRect(walk.bench, &bench);
        const bool level =
            bench.top == main.top && (bench.left >= main.right || bench.right <= main.left);
        if (level || bench.top >= main.bottom) {
            Sleep(kPaintMs);
            return true;
        }
        Sleep(100);
    }
    return false;
}

// On a bare X server (Xvfb) no window manager draws title bars; Wine draws them itself for the
// windows of its processes that start after it is told that no manager looks after them.
void askWineToDrawTitleBars() {
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", REG_SZ, L"N",
                    2 * sizeof(wchar_t));
}

// Starts the demo and waits for its ready window; the language is the one its Hint box shows.
bool startReady(Walk* walk, const std::wstring& exe) {
    askWineToDrawTitleBars();
    if (!driver::launch(exe, &walk->demo, {L"UPDATER_SIM_BENCH="})) {
        return fail("the demo could not be started");
    }
    if (!driver::waitForMainWindow(&walk->demo, kStepTimeoutMs)) {
        return fail("the demo's window did not appear");
    }
    walk->window = walk->demo.mainWindow;
    walk->bench = driver::findBench(walk->processId());
    if (walk->bench == nullptr) return fail("the bench window did not appear");
    const std::wstring hint = driver::controlText(walk->window, kHintBox);
    if (hint == text(kTextReady, Language::german)) {
        walk->language = Language::german;
    } else if (hint != text(kTextReady, Language::english)) {
        return fail("the demo did not start ready to update");
    }
    if (!waitForBenchBeside(*walk)) return fail("the bench window stayed over the main window");
    return driver::saveScreenshot({walk->window, walk->bench}, walk->picture("demo-start")) ||
           fail("the start could not be pictured");
}

// Presses Update and answers the warning with OK; the moment of the answer.
bool confirmUpdate(const Walk& walk, ULONGLONG* answeredAt) {
    if (!driver::pressButton(walk.window, kUpdateButton)) return fail("Update is not enabled");
    const HWND warning = driver::findMessageBox(
        walk.processId(), text(kTextWarningCaption, walk.language), kStepTimeoutMs);
    if (warning == nullptr) return fail("no warning before the update");
    driver::answerMessageBox(warning, IDOK);
    *answeredAt = GetTickCount64();
    return true;
}

// Pictures the progress window over the main window once the bar has moved far enough.
bool pictureProgress(const Walk& walk) {
    const HWND progress =
        driver::findWindow(walk.processId(), L"msctls_progress32",
                           text(kTextUpdateInProgress, walk.language), kStepTimeoutMs);
    if (progress == nullptr) return fail("no progress window");
    while (IsWindow(progress)) {
        if (driver::progressPosition(progress) >= kPictureProgress) {
            return driver::saveScreenshot(walk.window, walk.picture("demo-progress")) ||
                   fail("the progress window could not be pictured");
        }
        Sleep(100);
    }
    return fail("the progress window was gone before it could be pictured");
}

// Waits for the success text; the moment it was seen.
bool awaitSuccess(const Walk& walk, ULONGLONG* succeededAt) {
    if (!driver::waitForControlText(walk.window, kHintBox,
                                    text(kTextUpdateSucceeded, walk.language), kUpdateTimeoutMs)) {
        return fail("the update did not end in success");
    }
    *succeededAt = GetTickCount64();
    if (driver::controlText(walk.window, kRow3Version) != L"1.0") {
        return fail("the controller's row does not read 1.0");
    }
    Sleep(2 * kPaintMs);  // the Hint box repaints, and the bench shows the new firmware
    return driver::saveScreenshot({walk.window, walk.bench}, walk.picture("demo-end")) ||
           fail("the end could not be pictured");
}

void reportTimes(ULONGLONG updateMs, DWORD imageBytes) {
    const unsigned blocks = (imageBytes + kBlockBytes - 1) / kBlockBytes;
    const unsigned waitsMs = kFixedWaitsMs + blocks * kBlockWaitMs;
    std::printf("Whole update: %.2f s wall time, from the OK to the success text.\n",
                updateMs / 1000.0);
    std::printf(
        "The protocol's fixed waits for this image (%lu bytes): %.2f s "
        "(%u ms + %u x %u ms).\n",
        static_cast<unsigned long>(imageBytes), waitsMs / 1000.0, kFixedWaitsMs, blocks,
        kBlockWaitMs);
}

bool walkThrough(const std::wstring& exe, const std::string& outputFolder) {
    Walk walk;
    walk.outputFolder = outputFolder;
    ULONGLONG answeredAt = 0;
    ULONGLONG succeededAt = 0;
    const bool walked = startReady(&walk, exe) && confirmUpdate(walk, &answeredAt) &&
                        pictureProgress(walk) && awaitSuccess(walk, &succeededAt);
    if (walk.window != nullptr) driver::pressButton(walk.window, kCloseButton);
    if (driver::waitForExit(&walk.demo) != 0 && walked) return fail("the demo did not end with 0");
    if (walked) reportTimes(succeededAt - answeredAt, carriedImageSize(exe));
    return walked;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: demo-walkthrough DEMO-EXE OUTPUT-FOLDER\n");
        return 2;
    }
    return walkThrough(driver::wineHostPath(argv[1]), argv[2]) ? 0 : 1;
}
