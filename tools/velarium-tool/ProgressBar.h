#pragma once

#include <cstdint>
#include <string>

namespace velarium::tool {

// A one-line progress bar on standard error, drawn only when standard error
// is a terminal, and redrawn at most 30 times a second. Names are shown
// escaped.
class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void setFile(const std::string& relativePath, std::uint64_t index, std::uint64_t count);
    void setValue(double value);
    // Removes the bar, leaving the cursor at the start of an empty line.
    void clear();

private:
    void draw(bool force);

    bool enabled_;
    bool drawn_ = false;
    double lastDraw_ = -1.0;
    double value_ = 0.0;
    std::string file_;
};

}  // namespace velarium::tool
