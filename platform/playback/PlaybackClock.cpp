#include "platform/playback/PlaybackClock.h"

#include <chrono>

namespace velarium {
namespace {

constexpr std::int32_t kNanosecondsPerSecond = 1000000000;

}  // namespace

PlaybackClock::~PlaybackClock() = default;

MediaTime SystemPlaybackClock::now() const {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return MediaTime::make(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count(), kNanosecondsPerSecond);
}

void SystemPlaybackClock::waitUntil(const MediaTime& deadline, std::unique_lock<std::mutex>& lock,
                                    std::condition_variable& wake, const std::function<bool()>& interrupted) {
    if (!deadline.isNumeric()) {
        wake.wait(lock, interrupted);
        return;
    }
    const std::chrono::steady_clock::time_point until{
        std::chrono::nanoseconds(deadline.convertScale(kNanosecondsPerSecond).value)};
    wake.wait_until(lock, until, interrupted);
}

MediaTime ManualPlaybackClock::now() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return now_;
}

void ManualPlaybackClock::waitUntil(const MediaTime& deadline, std::unique_lock<std::mutex>&,
                                    std::condition_variable&, const std::function<bool()>& interrupted) {
    if (interrupted() || !deadline.isNumeric()) return;
    std::lock_guard<std::mutex> guard(mutex_);
    if (now_ < deadline) now_ = deadline;
}

void ManualPlaybackClock::advance(const MediaTime& delta) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (delta > MediaTime::zero()) now_ = now_ + delta;
}

}  // namespace velarium
