#include "app/PingPong.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "platform/playback/PlaybackClock.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

constexpr std::int64_t kRateDenominator = 1000;  // the player keeps rates to a thousandth

// How long `duration` of media lasts at `rate`, exactly where it can be said.
MediaTime atRate(const MediaTime& duration, float rate) {
    const std::int64_t thousandths = std::max<std::int64_t>(1, std::llround(double(rate) * kRateDenominator));
    if (thousandths == kRateDenominator) return duration;
    std::int64_t value = duration.value * kRateDenominator;
    std::int64_t timescale = std::int64_t(duration.timescale) * thousandths;
    const std::int64_t common = std::gcd(value, timescale);
    if (common > 1) value /= common, timescale /= common;
    if (timescale <= INT32_MAX) return MediaTime::make(value, static_cast<std::int32_t>(timescale));
    return MediaTime::makeWithSeconds(duration.seconds() * kRateDenominator / double(thousandths), 1'000'000'000);
}

}  // namespace

PingPongPlayback::PingPongPlayback(std::shared_ptr<Player> player, std::shared_ptr<PlaybackClock> clock)
    : player_(std::move(player)), clock_(clock ? std::move(clock) : std::make_shared<SystemPlaybackClock>()) {}

PingPongPlayback::~PingPongPlayback() { stop(); }

std::uint64_t PingPongPlayback::lastFrame() const {
    const std::uint64_t count = player_->currentItem()->sampleTimes().size();
    return count == 0 ? 0 : std::min<std::uint64_t>(lastFrame_, count - 1);
}

void PingPongPlayback::start(std::uint64_t from) {
    stop();
    player_->pause();
    stopping_ = false;
    running_ = true;
    thread_ = std::thread([this, from] {
        run(from);
        running_ = false;
    });
}

void PingPongPlayback::stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    running_ = false;
}

void PingPongPlayback::run(std::uint64_t index) {
    const std::vector<SampleTime>& samples = player_->currentItem()->sampleTimes();
    if (samples.empty()) return;
    MediaTime due = clock_->now();
    bool forwards = true;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        const bool shown = player_->seekToTime(samples[index].presentationTime);
        lock.lock();
        const std::uint64_t last = lastFrame();
        if (!shown || last == 0) return;  // a failed item is told by the player; one frame has nowhere to go
        due = due + atRate(samples[index].duration, player_->defaultRate());
        // The turn's ends are each shown once: … last − 1, last, last − 1 … 1, 0, 1 …
        if (index >= last) forwards = false;
        if (index == 0) forwards = true;
        index = forwards ? index + 1 : std::min(index, last + 1) - 1;
        clock_->waitUntil(due, lock, wake_, [this] { return stopping_; });
    }
}

}  // namespace velarium::app
