#include "ui_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "win32/bench_window.h"

namespace driver {
namespace {

constexpr DWORD kPollMs = 50;
constexpr int kMessageBoxTextId = 0xFFFF;

// Polls done() every kPollMs until it holds or timeoutMs has passed.
template <typename Done>
bool waitUntil(DWORD timeoutMs, Done done) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(kPollMs);
    }
}

std::wstring className(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

DWORD processOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

// A window's text through WM_GETTEXT, which reaches into the other process (GetWindowTextW does
// not, for controls such as edit boxes that keep their own text). Bounded: a window whose thread
// is busy reads as empty instead of blocking the test.
bool readText(HWND window, std::wstring* text) {
    text->clear();
    if (window == nullptr) return false;
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs,
                             &length)) {
        return false;
    }
    std::vector<wchar_t> buffer(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, kAnswerTimeoutMs,
                             &copied)) {
        return false;
    }
    text->assign(buffer.data(), copied);
    return true;
}

// The environment of this process with the given "NAME=value" entries added or replaced, as a
// block for CreateProcessW (sorted order is not required by Windows for a child's block).
std::vector<wchar_t> environmentBlock(const std::vector<std::wstring>& additions) {
    std::vector<std::wstring> entries;
    wchar_t* current = GetEnvironmentStringsW();
    for (const wchar_t* entry = current; *entry != L'\0'; entry += wcslen(entry) + 1) {
        entries.emplace_back(entry);
    }
    FreeEnvironmentStringsW(current);

    auto nameOf = [](const std::wstring& entry) {
        std::wstring name = entry.substr(0, entry.find(L'=', 1));
        for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
        return name;
    };
    for (const std::wstring& addition : additions) {
        bool replaced = false;
        for (std::wstring& entry : entries) {
            if (nameOf(entry) == nameOf(addition)) {
                entry = addition;
                replaced = true;
            }
        }
        if (!replaced) entries.push_back(addition);
    }

    std::vector<wchar_t> block;
    for (const std::wstring& entry : entries) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectProcessWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (processOf(window) == search->processId && IsWindowVisible(window)) {
        search->found.push_back(window);
    }
    return TRUE;
}

// The main dialog: a visible top-level dialog of the process that no other window owns (message
// boxes and the progress window are owned by it).
HWND findMainDialog(DWORD processId) {
    for (HWND window : processWindows(processId)) {
        if (className(window) == L"#32770" && GetWindow(window, GW_OWNER) == nullptr) {
            return window;
        }
    }
    return nullptr;
}

// Presses a button of another process's window without waiting for what the press starts.
bool postClick(HWND button) {
    if (button == nullptr || !IsWindowEnabled(button)) return false;
    return PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

// The text of a message box: the static control with ID 0xFFFF. Wine versions that number it
// otherwise are covered by taking the box's text-bearing static control.
HWND messageTextControl(HWND box) {
    if (HWND text = GetDlgItem(box, kMessageBoxTextId)) return text;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (className(child) == L"Static" && (style & SS_TYPEMASK) != SS_ICON) return child;
    }
    return nullptr;
}

bool writeAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

bool writeBitmapFile(const std::wstring& fileName, const BITMAPINFOHEADER& header,
                     const std::vector<BYTE>& pixels) {
    BITMAPFILEHEADER fileHeader{};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels.size());
    HANDLE file = CreateFileW(fileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = writeAll(file, &fileHeader, sizeof fileHeader) &&
                         writeAll(file, &header, sizeof header) &&
                         writeAll(file, pixels.data(), static_cast<DWORD>(pixels.size()));
    return CloseHandle(file) && written;
}

// Saves what the screen shows in rect (screen coordinates) as a 24-bit BMP file.
bool saveScreenArea(const RECT& rect, const std::wstring& fileName) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const bool copied =
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    SelectObject(memory, previous);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;  // bottom-up, as BMP files usually are
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    header.biSizeImage = stride * static_cast<DWORD>(height);
    std::vector<BYTE> pixels(header.biSizeImage);
    const bool read =
        copied && GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                            reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return read && writeBitmapFile(fileName, header, pixels);
}

// Waits until the bench's plug-in button shows the wanted state (disabled once the unit is in).
bool waitForPlugged(HWND bench, bool pluggedIn, DWORD timeoutMs) {
    return waitForControlEnabled(bench, kBenchPlugInButton, !pluggedIn, timeoutMs) &&
           waitForControlEnabled(bench, kBenchUnplugButton, pluggedIn, timeoutMs);
}

}  // namespace

bool launch(const std::wstring& exe, Program* program,
            const std::vector<std::wstring>& environment) {
    *program = Program{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::vector<wchar_t> block = environmentBlock(environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                       CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup,
                       &program->process)) {
        return true;
    }
    // Once seen under heavy load and not since: the system's own reason, for the next time.
    std::fprintf(stderr, "CreateProcessW(%ls) failed, error %lu\n", exe.c_str(), GetLastError());
    return false;
}

bool waitForMainWindow(Program* program, DWORD timeoutMs) {
    const ULONGLONG started = GetTickCount64();
    const bool found = waitUntil(timeoutMs, [&] {
        program->mainWindow = findMainDialog(program->process.dwProcessId);
        return program->mainWindow != nullptr;
    });
    if (!found) return false;
    const ULONGLONG spent = GetTickCount64() - started;
    const DWORD left = spent < timeoutMs ? static_cast<DWORD>(timeoutMs - spent) : 0;
    return WaitForInputIdle(program->process.hProcess, left) == 0;
}

bool start(const std::wstring& exe, Program* program, DWORD timeoutMs,
           const std::vector<std::wstring>& environment) {
    return launch(exe, program, environment) && waitForMainWindow(program, timeoutMs);
}

int waitForExit(Program* program, DWORD timeoutMs) {
    HANDLE process = program->process.hProcess;
    if (process == nullptr) return -1;
    int result = -1;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        if (GetExitCodeProcess(process, &exitCode)) result = static_cast<int>(exitCode);
    } else {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, kDefaultTimeoutMs);
    }
    CloseHandle(program->process.hThread);
    CloseHandle(process);
    *program = Program{};
    return result;
}

std::wstring windowText(HWND window) {
    std::wstring text;
    readText(window, &text);
    return text;
}

std::wstring controlText(HWND dialog, int controlId) {
    return windowText(GetDlgItem(dialog, controlId));
}

bool isControlEnabled(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    return control != nullptr && IsWindowEnabled(control);
}

bool waitForControlText(HWND dialog, int controlId, const std::wstring& expected, DWORD timeoutMs) {
    return waitUntil(timeoutMs, [&] { return controlText(dialog, controlId) == expected; });
}

bool waitForControlEnabled(HWND dialog, int controlId, bool enabled, DWORD timeoutMs) {
    return waitUntil(timeoutMs, [&] { return isControlEnabled(dialog, controlId) == enabled; });
}

bool pressButton(HWND dialog, int controlId) { return postClick(GetDlgItem(dialog, controlId)); }

void pressKey(HWND window, UINT virtualKey) {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) &&
        thread.hwndFocus != nullptr) {
        target = thread.hwndFocus;
    }
    const LPARAM scanCode = static_cast<LPARAM>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, virtualKey, scanCode | 1);
    PostMessageW(target, WM_KEYUP, virtualKey, scanCode | 1 | (1u << 30) | (1u << 31));
}

void pressCloseBox(HWND window) { PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

void typeKey(UINT virtualKey) {
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = static_cast<WORD>(virtualKey);
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

AnswerWatch::AnswerWatch(HWND window) : window_(window) {
    thread_ = CreateThread(nullptr, 0, run, this, 0, nullptr);
}

AnswerWatch::~AnswerWatch() { stop(); }

DWORD AnswerWatch::stop() {
    if (thread_ != nullptr) {
        stopping_ = true;
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
        thread_ = nullptr;
    }
    return longestMs_;
}

DWORD WINAPI AnswerWatch::run(void* self) {
    auto* watch = static_cast<AnswerWatch*>(self);
    constexpr DWORD kGiveUpMs = 5000;
    while (!watch->stopping_) {
        const ULONGLONG asked = GetTickCount64();
        DWORD_PTR result = 0;
        const bool answered = SendMessageTimeoutW(watch->window_, WM_NULL, 0, 0, SMTO_NORMAL,
                                                  kGiveUpMs, &result) != 0;
        const DWORD took = answered ? static_cast<DWORD>(GetTickCount64() - asked) : kGiveUpMs;
        if (!answered && !IsWindow(watch->window_)) break;  // the window is gone, not hung
        if (took > watch->longestMs_) watch->longestMs_ = took;
        ++watch->questions_;
        Sleep(100);
    }
    return 0;
}

HWND findMessageBox(DWORD processId, const std::wstring& caption, DWORD timeoutMs) {
    return findWindow(processId, L"#32770", caption, timeoutMs);
}

std::wstring messageBoxText(HWND box) { return windowText(messageTextControl(box)); }

void answerMessageBox(HWND box, int commandId) {
    if (!postClick(GetDlgItem(box, commandId))) {
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED), 0);
    }
}

std::vector<HWND> processWindows(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(collectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND findWindow(DWORD processId, const std::wstring& className, const std::wstring& title,
                DWORD timeoutMs) {
    HWND found = nullptr;
    waitUntil(timeoutMs, [&] {
        for (HWND window : processWindows(processId)) {
            if (driver::className(window) != className) continue;
            if (!title.empty() && windowText(window) != title) continue;
            found = window;
            return true;
        }
        return false;
    });
    return found;
}

bool waitForWindowGone(HWND window, DWORD timeoutMs) {
    return waitUntil(timeoutMs, [&] { return !IsWindow(window) || !IsWindowVisible(window); });
}

int progressPosition(HWND progressBar) {
    DWORD_PTR position = 0;
    if (!SendMessageTimeoutW(progressBar, PBM_GETPOS, 0, 0, SMTO_NORMAL, kAnswerTimeoutMs,
                             &position)) {
        return -1;
    }
    return static_cast<int>(position);
}

std::wstring wineHostPath(const std::string& hostPath) {
    std::wstring path = L"Z:";
    for (char c : hostPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

std::string readFile(const std::wstring& fileName) {
    const HANDLE file =
        CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    std::string content(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &content[0], static_cast<DWORD>(content.size()), &read, nullptr);
    CloseHandle(file);
    content.resize(read);
    return content;
}

std::wstring programLogFolder(const wchar_t* subfolder) {
    const wchar_t* localAppData = _wgetenv(L"LOCALAPPDATA");
    return std::wstring(localAppData != nullptr ? localAppData : L"") +
           L"\\BELMARODA\\TERVAL 160 LX Updater\\" + subfolder;
}

std::vector<std::wstring> programLogNames(const wchar_t* subfolder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search =
        FindFirstFileW((programLogFolder(subfolder) + L"\\*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

bool saveScreenshot(HWND window, const std::wstring& fileName) {
    RECT rect{};
    return GetWindowRect(window, &rect) && saveScreenArea(rect, fileName);
}

bool saveScreenshot(const std::vector<HWND>& windows, const std::wstring& fileName) {
    RECT all{};
    for (HWND window : windows) {
        RECT rect{};
        if (!GetWindowRect(window, &rect)) return false;
        UnionRect(&all, &all, &rect);
    }
    return saveScreenArea(all, fileName);
}

HWND findBench(DWORD processId, DWORD timeoutMs) {
    return findWindow(processId, kBenchWindowClass, L"", timeoutMs);
}

bool benchChoose(HWND bench, int listId, int index) {
    HWND list = GetDlgItem(bench, listId);
    if (list == nullptr || !IsWindowEnabled(list)) return false;
    DWORD_PTR selected = 0;
    if (!SendMessageTimeoutW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0, SMTO_NORMAL,
                             kAnswerTimeoutMs, &selected) ||
        static_cast<int>(selected) != index) {
        return false;
    }
    // A person's pick also tells the window; CB_SETCURSEL alone does not.
    return PostMessageW(bench, WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(list)) != FALSE;
}

bool benchPlugIn(HWND bench, DWORD timeoutMs) {
    return pressButton(bench, kBenchPlugInButton) && waitForPlugged(bench, true, timeoutMs);
}

bool benchUnplug(HWND bench, DWORD timeoutMs) {
    return pressButton(bench, kBenchUnplugButton) && waitForPlugged(bench, false, timeoutMs);
}

}  // namespace driver
