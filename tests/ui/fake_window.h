// A recording stand-in for the window system (ui/window.h), for the native tests: the main
// dialog's controls as texts and enabled states, the texts of the message catalogue in a chosen
// language, message boxes with scripted answers, and a log of the progress window's calls.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/catalogue.h"
#include "ui/window.h"

namespace fake {

struct Control {
    std::wstring text;
    bool enabled = true;
};

struct MessageBox {
    std::wstring text;
    std::wstring caption;
    window::Box box;
    unsigned inputDiscardsBefore = 0;  // how often queued input had been dropped when it opened
};

struct Window {
    Language language = Language::english;
    std::wstring title;
    std::map<int, Control> controls;  // dialog 110's controls, by ID
    std::vector<MessageBox> boxes;    // in the order shown
    // Answers for the boxes to come, in order; a box without a scripted answer gets OK.
    std::deque<window::Answer> answers;
    // Runs while the next box is open (then cleared), as a nested message loop would run a
    // device notice or a paint.
    std::function<void()> whileBoxOpen;
    // Texts to load in place of the catalogue's, by ID.
    std::map<std::uint16_t, std::wstring> textOverrides;
    // Calls on top-level windows other than the main window, e.g. "create 2 title=..." or
    // "progress 2 50".
    std::vector<std::string> windowCalls;
    unsigned keepPaintingCalls = 0;
    // Runs at every keepPainting, as sent messages would be delivered then.
    std::function<void()> whilePainting;
    // Sleep and shutdown held off, with the reason given; how often that was asked.
    bool sleepAndShutdownBlocked = false;
    std::wstring shutdownReason;
    unsigned sleepAndShutdownBlocks = 0;
    bool progressWindowFails = false;
    unsigned inputDiscards = 0;
    window::WindowHandle foreground = 1;
    window::Rect mainRect{100, 100, 625, 510};
};

// The window as dialog 110's template leaves it, with nothing shown yet.
void reset(Language language = Language::english);
Window& state();

// A catalogue text as the program would load it, in the fake's language.
std::wstring text(std::uint16_t id);
// A control's text; fails the test when the control does not exist.
std::wstring controlText(int controlId);
bool isEnabled(int controlId);

}  // namespace fake
