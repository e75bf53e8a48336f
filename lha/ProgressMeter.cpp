// Progress by uncompressed bytes, rate-limited.
#include "lha/ProgressMeter.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace velarium {
namespace {

constexpr double kMinimumInterval = 1.0 / 30.0;

}  // namespace

ProgressMeter::ProgressMeter(std::uint64_t totalBytes, std::function<void(double)> update, Clock now)
    : totalBytes_(totalBytes), update_(std::move(update)), now_(now ? std::move(now) : Clock(monotonicSeconds)) {}

void ProgressMeter::reportWithinFile(double fraction) {
    if (!update_) return;
    const double now = now_();
    if (lastUpdate_ && now - *lastUpdate_ < kMinimumInterval) return;
    lastUpdate_ = now;
    double value = 0.0;
    if (totalBytes_ > 0) {
        const double done = fraction * static_cast<double>(currentFileLength_) + static_cast<double>(completedBytes_);
        value = std::min(1.0, done / static_cast<double>(totalBytes_));
    }
    update_(value);
}

void ProgressMeter::finishFile() {
    completedBytes_ += currentFileLength_;
    reportWithinFile(0.0);
}

double ProgressMeter::monotonicSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace velarium
