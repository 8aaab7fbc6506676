#include "units_progress.h"

#include <algorithm>

#include "terminal_progress.h"

namespace {

// Clears what an earlier, longer line left to the right of the cursor.
constexpr const char* kClearToEndOfLine = "\x1b[K";

std::string cursorUp(std::size_t lines) { return "\x1b[" + std::to_string(lines) + "A"; }

}  // namespace

UnitsProgress::UnitsProgress(std::ostream& out, std::function<int()> columns,
                             std::vector<std::string> labels, std::function<bool()> noticeGiven)
    : out_(out),
      columns_(std::move(columns)),
      labels_(std::move(labels)),
      noticeGiven_(std::move(noticeGiven)),
      owner_(std::this_thread::get_id()),
      lines_(labels_.size()),
      single_(labels_.size() == 1 && labels_[0].empty()) {
    for (const std::string& label : labels_) labelWidth_ = std::max(labelWidth_, label.size());
}

void UnitsProgress::start(std::size_t unit) {
    std::unique_lock<std::mutex> hold(mutex_);
    lines_[unit].started = std::chrono::steady_clock::now();
    lines_[unit].running = true;
    lines_[unit].percent = 0;
    changed(hold);
}

void UnitsProgress::show(std::size_t unit, std::uint32_t percent) {
    std::unique_lock<std::mutex> hold(mutex_);
    if (lines_[unit].percent == percent) return;
    lines_[unit].percent = percent;
    changed(hold);
}

void UnitsProgress::finish(std::size_t unit) {
    std::unique_lock<std::mutex> hold(mutex_);
    lines_[unit].spent = std::chrono::steady_clock::now() - lines_[unit].started;
    lines_[unit].running = false;
}

void UnitsProgress::ended(std::size_t unit) {
    std::unique_lock<std::mutex> hold(mutex_);
    lines_[unit].ended = true;
    changed(hold);
}

// Drawn at once on the thread that writes; otherwise that thread is woken to draw.
void UnitsProgress::changed(std::unique_lock<std::mutex>& hold) {
    dirty_ = true;
    if (std::this_thread::get_id() == owner_) {
        hold.unlock();
        draw();
        return;
    }
    changed_.notify_one();
}

// Waits for news or for the end, checked under the lock before each wait so that no wake-up is
// lost: a unit's last news may be drawn by the draw before, which the end that it brought must
// not wait for again. No bound is needed: every unit's update tells its
// end (ended) whatever its outcome, and each of its exchanges has a time-out of its own.
void UnitsProgress::follow(const std::function<void(const std::function<void()>& draw)>& drawing) {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
        changed_.wait(hold, [this] { return dirty_ || allEnded(); });
        const bool ended = allEnded();
        hold.unlock();
        drawing([this] { draw(); });
        if (ended) return;
        hold.lock();
    }
}

bool UnitsProgress::allEnded() const {
    return std::all_of(lines_.begin(), lines_.end(), [](const Line& line) { return line.ended; });
}

// A stream that failed is drawn on no more.
void UnitsProgress::draw() {
    if (!out_) return;
    std::string text;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        if (!dirty_) return;
        dirty_ = false;
        text = !columns_ ? tenths() : single_ ? bar() : block();
    }
    if (!text.empty()) out_ << text << std::flush;
}

// Every unit's line, over the block drawn before (or below a notice written since). A unit whose
// blocks have not begun shows 0 %; one whose blocks are over, its line as they ended.
std::string UnitsProgress::block() {
    if (std::none_of(lines_.begin(), lines_.end(),
                     [](const Line& line) { return line.running || line.percent > 0; })) {
        return "";
    }
    const bool notice = noticeGiven_ && noticeGiven_();
    std::string text = blockShown_ && notice == noticeSeen_ ? cursorUp(lines_.size()) : "";
    blockShown_ = true;
    noticeSeen_ = notice;
    const int columns = columns_();
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t unit = 0; unit < lines_.size(); ++unit) {
        const Line& line = lines_[unit];
        const std::string& label = labels_[unit];
        std::string shown = label + std::string(labelWidth_ - label.size() + 1, ' ');
        const int room = columns - static_cast<int>(shown.size());
        shown += progressLine(line.percent, line.running ? now - line.started : line.spent, room);
        if (static_cast<int>(shown.size()) >= columns) shown.resize(std::max(columns - 1, 0));
        text += '\r' + shown + kClearToEndOfLine + '\n';
    }
    return text;
}

// One unit's bar, redrawn in place where its percentage changed since the last draw; once its
// blocks are over, its line is ended. A held signal's notice starts a line of its own, on which the
// bar goes on.
std::string UnitsProgress::bar() {
    const Line& line = lines_[0];
    if (barEnded_ || line.started == std::chrono::steady_clock::time_point{}) return "";
    std::string text;
    if (!blockShown_ || line.percent != percentDrawn_) {
        const auto spent =
            line.running ? std::chrono::steady_clock::now() - line.started : line.spent;
        text = '\r' + progressLine(line.percent, spent, columns_()) + kClearToEndOfLine;
        blockShown_ = true;
        percentDrawn_ = line.percent;
    }
    if (!line.running) {
        text += '\n';
        barEnded_ = true;
    }
    return text;
}

// A line for each tenth that a unit has reached since the last draw.
std::string UnitsProgress::tenths() {
    std::string text;
    for (std::size_t unit = 0; unit < lines_.size(); ++unit) {
        Line& line = lines_[unit];
        for (std::uint32_t tenth = line.tenthsShown + 1; tenth <= line.percent / 10; ++tenth) {
            if (!single_) text += labels_[unit] + ": ";
            text += std::to_string(tenth * 10) + " %\n";
        }
        line.tenthsShown = std::max(line.tenthsShown, line.percent / 10);
    }
    return text;
}
