#include "ui/fake_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "ui/resource_ids.h"

namespace fake {
namespace {

constexpr window::WindowHandle kMainWindow = 1;

Window& theWindow() {
    static Window window;
    return window;
}

Control& control(int controlId) {
    auto found = theWindow().controls.find(controlId);
    if (found == theWindow().controls.end()) {
        ADD_FAILURE() << "no control " << controlId << " in dialog 110";
        static Control nowhere;
        return nowhere;
    }
    return found->second;
}

std::wstring toWide(const char16_t* text) {
    std::wstring wide;
    for (; *text != u'\0'; ++text) wide += static_cast<wchar_t>(*text);
    return wide;
}

// Copies text into buffer, cut to capacity - 1 units and terminated, as the window system does.
int copyOut(const std::wstring& text, wchar_t* buffer, int capacity) {
    if (capacity <= 0) return 0;
    const int length = std::min(static_cast<int>(text.size()), capacity - 1);
    std::wmemcpy(buffer, text.data(), static_cast<std::size_t>(length));
    buffer[length] = L'\0';
    return length;
}

void logCall(const char* what, window::WindowHandle handle, const std::string& detail = "") {
    char line[64];
    std::snprintf(line, sizeof line, "%s %ld", what, static_cast<long>(handle));
    theWindow().windowCalls.push_back(detail.empty() ? line : std::string(line) + " " + detail);
}

std::string narrow(const wchar_t* text) {
    std::string out;
    for (; *text != L'\0'; ++text) out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

}  // namespace

void reset(Language language) {
    Window& window = theWindow();
    window = Window{};
    window.language = language;
    window.title = L"BELMARODA firmware updater";
    window.controls = {
        {kCloseButton, {L"Close", true}},
        {kUpdateButton, {L"Update", false}},
        {kRow1Caption, {L"Firmware 1:", true}},
        {kRow2Caption, {L"Firmware 2:", true}},
        {kRow3Caption, {L"Firmware 3:", true}},
        {kRow1Version, {L"0.00.00", true}},
        {kRow2Version, {L"0.00.00", true}},
        {kRow3Version, {L"0.00.00", true}},
        {kHintBox, {L"", true}},
        {kVersionGroupBox, {L"Installed firmware version", true}},
    };
}

Window& state() { return theWindow(); }

std::wstring text(std::uint16_t id) {
    const auto overridden = theWindow().textOverrides.find(id);
    if (overridden != theWindow().textOverrides.end()) return overridden->second;
    const char16_t* stored = catalogueText(id, theWindow().language);
    return stored == nullptr ? std::wstring() : toWide(stored);
}

std::wstring controlText(int controlId) { return control(controlId).text; }
bool isEnabled(int controlId) { return control(controlId).enabled; }

}  // namespace fake

namespace window {

int loadText(std::uint16_t id, wchar_t* buffer, int capacity) {
    return fake::copyOut(fake::text(id), buffer, capacity);
}

void setTitle(const wchar_t* text) { fake::theWindow().title = text; }

void setControlText(int controlId, const wchar_t* text) { fake::control(controlId).text = text; }

int controlTextLength(int controlId) {
    return static_cast<int>(fake::control(controlId).text.size());
}

int controlText(int controlId, wchar_t* buffer, int capacity) {
    return fake::copyOut(fake::control(controlId).text, buffer, capacity);
}

void enableControl(int controlId, bool enabled) { fake::control(controlId).enabled = enabled; }

Answer showMessageBox(const wchar_t* text, const wchar_t* caption, Box box) {
    fake::Window& window = fake::theWindow();
    window.boxes.push_back({text, caption, box, window.inputDiscards});
    if (window.whileBoxOpen) {
        const std::function<void()> nested = std::move(window.whileBoxOpen);
        window.whileBoxOpen = nullptr;
        nested();
    }
    if (window.answers.empty()) return Answer::ok;
    const Answer answer = window.answers.front();
    window.answers.pop_front();
    return answer;
}

WindowHandle mainWindow() { return fake::kMainWindow; }
WindowHandle foregroundWindow() { return fake::theWindow().foreground; }

Rect windowRect(WindowHandle handle) {
    if (handle == fake::kMainWindow) return fake::theWindow().mainRect;
    return Rect{0, 0, 0, 0};
}

WindowHandle createProgressWindow(const wchar_t* title, int x, int y, int width, int height) {
    fake::Window& window = fake::theWindow();
    if (window.progressWindowFails) {
        fake::logCall("create-failed", 0);
        return 0;
    }
    const WindowHandle handle = 2;
    char place[64];
    std::snprintf(place, sizeof place, "%d,%d %dx%d ", x, y, width, height);
    fake::logCall("create", handle, place + fake::narrow(title));
    return handle;
}

void setProgress(WindowHandle progress, unsigned position) {
    fake::logCall("progress", progress, std::to_string(position));
}

void destroyWindow(WindowHandle handle) { fake::logCall("destroy", handle); }
void bringToTop(WindowHandle handle) { fake::logCall("top", handle); }
void showWindow(WindowHandle handle) { fake::logCall("show", handle); }

void keepPainting() {
    ++fake::theWindow().keepPaintingCalls;
    if (fake::theWindow().whilePainting) fake::theWindow().whilePainting();
}

void discardQueuedInput() { ++fake::theWindow().inputDiscards; }

void blockSleepAndShutdown(const wchar_t* reason) {
    fake::Window& window = fake::theWindow();
    window.sleepAndShutdownBlocked = true;
    window.shutdownReason = reason;
    ++window.sleepAndShutdownBlocks;
}

void allowSleepAndShutdown() { fake::theWindow().sleepAndShutdownBlocked = false; }

}  // namespace window
