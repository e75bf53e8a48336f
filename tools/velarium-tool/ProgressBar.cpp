// The extraction's progress on a terminal.
#include "tools/velarium-tool/ProgressBar.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "platform/foundation/EscapedText.h"

namespace velarium::tool {
namespace {

constexpr double kRedrawInterval = 1.0 / 30.0;
constexpr int kBarWidth = 30;
constexpr int kDefaultColumns = 80;

double secondsNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int terminalColumns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return kDefaultColumns;
}

// The end of a UTF-8 text in at most `columns` characters (counting code
// points, good enough for a status line), with "…" in front when cut.
std::string tail(const std::string& text, int columns) {
    std::vector<std::size_t> starts;
    for (std::size_t at = 0; at < text.size(); ++at)
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) starts.push_back(at);
    if (static_cast<int>(starts.size()) <= columns) return text;
    if (columns < 2) return {};
    return "…" + text.substr(starts[starts.size() - static_cast<std::size_t>(columns - 1)]);
}

}  // namespace

ProgressBar::ProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1) {}

void ProgressBar::setFile(const std::string& relativePath, std::uint64_t index, std::uint64_t count) {
    char counter[64];
    std::snprintf(counter, sizeof counter, " (%" PRIu64 " of %" PRIu64 ")", index, count);
    file_ = escapedText(relativePath) + counter;
    draw(false);
}

void ProgressBar::setValue(double value) {
    value_ = std::clamp(value, 0.0, 1.0);
    draw(false);
}

void ProgressBar::draw(bool force) {
    if (!enabled_) return;
    const double now = secondsNow();
    if (!force && drawn_ && now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    const int filled = static_cast<int>(value_ * kBarWidth + 0.5);
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), ' ');
    char head[64];
    std::snprintf(head, sizeof head, "[%s] %3d%% ", bar.c_str(), static_cast<int>(value_ * 100.0));
    const int room = terminalColumns() - static_cast<int>(std::char_traits<char>::length(head)) - 1;
    std::fprintf(stderr, "\r%s%s\033[K", head, tail(file_, room).c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::clear() {
    if (!enabled_ || !drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace velarium::tool
