#include "platform/playback/Player.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "platform/playback/PlaybackError.h"

namespace velarium {
namespace {

Error playbackError(PlaybackErrorCode code, const char* text) { return Error(kPlaybackErrorDomain, code, text); }

constexpr std::int64_t kRateDenominator = 1000;  // rates are kept to a thousandth
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

using Wide = __int128;

Wide greatestCommonDivisor(Wide a, Wide b) {
    if (a < 0) a = -a;
    while (b != 0) {
        const Wide rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

// `time` × multiplier / divisor (both positive): exact while the fraction
// fits a media time, otherwise the nearest nanosecond.
MediaTime scaledTime(const MediaTime& time, std::int64_t multiplier, std::int64_t divisor) {
    if (!time.isNumeric() || multiplier == divisor) return time;
    Wide value = Wide(time.value) * multiplier;
    Wide timescale = Wide(time.timescale) * divisor;
    const Wide common = greatestCommonDivisor(value, timescale);
    if (common > 1) {
        value /= common;
        timescale /= common;
    }
    if (timescale <= std::numeric_limits<std::int32_t>::max() && value <= std::numeric_limits<std::int64_t>::max() &&
        value >= std::numeric_limits<std::int64_t>::min()) {
        MediaTime scaled = MediaTime::make(static_cast<std::int64_t>(value), static_cast<std::int32_t>(timescale));
        scaled.flags |= time.flags & MediaTime::kHasBeenRounded;
        return scaled;
    }
    const Wide nanoseconds = value * kNanosecondsPerSecond;
    Wide whole = nanoseconds / timescale;
    const Wide twiceRest = (nanoseconds % timescale) * 2;
    if (twiceRest >= timescale) ++whole;
    if (twiceRest <= -timescale) --whole;
    MediaTime rounded = MediaTime::make(static_cast<std::int64_t>(whole), kNanosecondsPerSecond);
    rounded.flags |= MediaTime::kHasBeenRounded;
    return rounded;
}

}  // namespace

VideoSink::~VideoSink() = default;

Player::Player(std::shared_ptr<PlayerItem> item, std::shared_ptr<VideoSink> sink,
               std::shared_ptr<PlaybackClock> clock, PlayerOptions options)
    : item_(std::move(item)), sink_(std::move(sink)), clock_(std::move(clock)), options_(options) {
    if (!clock_) clock_ = std::make_shared<SystemPlaybackClock>();
    if (item_) item_->prepare();
    thread_ = std::thread(&Player::run, this);
}

Player::~Player() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool Player::itemIsReady(Error* error) const {
    if (!item_) return fail(error, playbackError(kPlaybackErrorItemNotReady, "There is no player item"));
    switch (item_->status()) {
        case PlayerItemStatus::readyToPlay:
            return true;
        case PlayerItemStatus::failed:
            return fail(error, item_->error().value_or(Error()));
        case PlayerItemStatus::unknown:
            break;
    }
    return fail(error, playbackError(kPlaybackErrorItemNotReady, "The player item is not ready to play"));
}

std::optional<Player::PlaybackRate> Player::playbackRate(float rate) {
    if (!std::isfinite(rate) || rate <= 0) return std::nullopt;
    const double thousandths = std::round(static_cast<double>(rate) * kRateDenominator);
    if (thousandths < 1 || thousandths > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    const auto numerator = static_cast<std::int64_t>(thousandths);
    const std::int64_t common = std::gcd(numerator, kRateDenominator);
    return PlaybackRate{numerator / common, kRateDenominator / common};
}

// Media time passes `rate` times as fast as host time.
MediaTime Player::hostTimeFor(const MediaTime& time) const {
    return anchorHost_ + scaledTime(time - anchorMedia_, defaultRate_.denominator, defaultRate_.numerator);
}

MediaTime Player::playheadAt(const MediaTime& hostTime) const {
    return minimum(anchorMedia_ + scaledTime(hostTime - anchorHost_, defaultRate_.numerator, defaultRate_.denominator),
                   item_->duration());
}

MediaTime Player::playheadLocked() const { return playing_ ? playheadAt(clock_->now()) : currentTime_; }

std::optional<std::uint64_t> Player::loopStartLocked() const {
    if (!loopStartIndex_ || *loopStartIndex_ >= item_->sampleTimes().size()) return std::nullopt;
    // A lap must take time, or the playback thread would spin.
    if (item_->sampleTimes()[*loopStartIndex_].presentationTime >= item_->duration()) return std::nullopt;
    return loopStartIndex_;
}

void Player::play() {
    if (!itemIsReady(nullptr)) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (playing_) return;
        if (atEnd_) {
            // The end stays the end unless a lap can start over.
            const std::optional<std::uint64_t> loopStart = loopStartLocked();
            if (!loopStart) return;
            atEnd_ = false;
            nextIndex_ = *loopStart;
            currentTime_ = item_->sampleTimes()[*loopStart].presentationTime;
        }
        const MediaTime now = clock_->now();
        anchorHost_ = now;
        anchorMedia_ = currentTime_;
        playing_ = true;
        ++generation_;
        if (!statistics_.firstPlayHostTime.isValid()) statistics_.firstPlayHostTime = now;
        stateChangedLocked();
    }
    wake_.notify_all();
    announceStateChange();
}

void Player::pause() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!playing_) return;
        currentTime_ = playheadLocked();
        playing_ = false;
        ++generation_;
        stateChangedLocked();
    }
    wake_.notify_all();
    announceStateChange();
}

float Player::rate() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return playing_ ? defaultRate_.value() : 0.0f;
}

float Player::defaultRate() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return defaultRate_.value();
}

void Player::setDefaultRate(float rate) {
    const std::optional<PlaybackRate> fraction = playbackRate(rate);
    if (!fraction) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (playing_) {
            // The schedule starts again from where the playhead is now.
            const MediaTime now = clock_->now();
            anchorMedia_ = playheadAt(now);
            anchorHost_ = now;
            ++generation_;
        }
        if (fraction->numerator != defaultRate_.numerator || fraction->denominator != defaultRate_.denominator)
            stateChangedLocked();
        defaultRate_ = *fraction;
    }
    wake_.notify_all();
    announceStateChange();
}

void Player::setRate(float rate) {
    if (rate == 0) {
        pause();
    } else if (playbackRate(rate)) {
        setDefaultRate(rate);
        play();
    }
}

std::optional<std::uint64_t> Player::loopStartIndex() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return loopStartIndex_;
}

void Player::setLoopStartIndex(std::optional<std::uint64_t> index) {
    std::lock_guard<std::mutex> guard(mutex_);
    loopStartIndex_ = index;
}

MediaTime Player::currentTime() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return playheadLocked();
}

bool Player::isAtEnd() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return atEnd_;
}

PlaybackStatistics Player::statistics() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return statistics_;
}

std::uint64_t Player::addStateObserver(StateObserver observer) { return stateObservers_.add(std::move(observer)); }

void Player::removeStateObserver(std::uint64_t token) { stateObservers_.remove(token); }

void Player::announceStateChange() {
    if (presentingThread_.load() == std::this_thread::get_id()) return;
    if (!stateChangePending_.exchange(false)) return;
    stateObservers_.notify();
}

Player::Presenting::Presenting(Player& player) : player_(player) {
    player_.presentMutex_.lock();
    if (player_.presentDepth_++ == 0) player_.presentingThread_ = std::this_thread::get_id();
}

Player::Presenting::~Presenting() {
    if (--player_.presentDepth_ == 0) player_.presentingThread_ = std::thread::id();
    player_.presentMutex_.unlock();
}

void Player::waitUntilStopped() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [&] { return !playing_ || quit_; });
}

bool Player::seekToTime(const MediaTime& time, Error* error) {
    if (!itemIsReady(error)) return false;
    if (!time.isValid() || time.isIndefinite())
        return fail(error, playbackError(kPlaybackErrorInvalidTime, "Cannot seek to an invalid time"));
    const MediaTime target = std::clamp(time, MediaTime::zero(), item_->duration(),
                                        [](const MediaTime& a, const MediaTime& b) { return a < b; });
    return showNow(item_->sampleIndexAtTime(target), target, true, error);
}

bool Player::stepByCount(std::int64_t count, Error* error) {
    if (!itemIsReady(error)) return false;
    pause();
    std::uint64_t current;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        current = item_->sampleIndexAtTime(currentTime_);
    }
    const auto last = static_cast<__int128>(item_->sampleTimes().size() - 1);
    const auto target = static_cast<std::uint64_t>(std::clamp<__int128>(static_cast<__int128>(current) + count, 0, last));
    return showNow(target, item_->sampleTimes()[target].presentationTime, false, error);
}

bool Player::showNow(std::uint64_t index, const MediaTime& time, bool keepPlaying, Error* error) {
    bool wasPlaying;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        wasPlaying = playing_;
        playing_ = false;
        ++generation_;  // whatever the playback thread has in hand is not shown
    }
    wake_.notify_all();

    PixelBufferRef buffer;
    Error failure;
    if (!renderSample(index, &buffer, &failure)) {
        item_->failWithError(failure);
        {
            std::lock_guard<std::mutex> guard(mutex_);
            stateChangedLocked();
        }
        wake_.notify_all();
        announceStateChange();
        return fail(error, failure);
    }

    {
        Presenting presenting(*this);
        const MediaTime now = clock_->now();
        {
            std::lock_guard<std::mutex> guard(mutex_);
            currentTime_ = time;
            nextIndex_ = index + 1;
            atEnd_ = time >= item_->duration();
            if (keepPlaying && wasPlaying && !atEnd_) {
                playing_ = true;
                anchorHost_ = now;
                anchorMedia_ = time;
            }
            ++generation_;
            stateChangedLocked();
        }
        wake_.notify_all();
        present(buffer, index, now, false);
    }
    announceStateChange();
    return true;
}

bool Player::renderSample(std::uint64_t index, PixelBufferRef* pixelBuffer, Error* error) {
    std::lock_guard<std::mutex> guard(renderMutex_);
    if (!walker_) walker_ = std::make_unique<SampleWalker>(item_->videoTrackReader());
    const SampleBufferRef sample = walker_->loadSample(index, error);
    if (!sample) return false;
    *pixelBuffer = decodeSample(*item_->videoDecoder(), sample, error);
    return *pixelBuffer != nullptr;
}

void Player::present(const PixelBufferRef& buffer, std::uint64_t index, const MediaTime& hostTime, bool late) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        ++statistics_.framesShown;
        if (late) ++statistics_.framesLate;
    }
    if (!sink_) return;
    const SampleTime& sample = item_->sampleTimes()[index];
    sink_->presentPixelBuffer(buffer, PresentedFrame{index, sample.presentationTime, sample.duration, hostTime, late});
}

void Player::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return quit_ || playing_; });
        if (quit_) return;
        const std::uint64_t generation = generation_;
        auto interrupted = [&] { return quit_ || generation_ != generation; };
        const std::vector<SampleTime>& samples = item_->sampleTimes();

        if (nextIndex_ >= samples.size()) {
            // Every sample is shown: the last one stays up for its duration.
            const MediaTime end = hostTimeFor(item_->duration());
            clock_->waitUntil(end, lock, wake_, interrupted);
            if (interrupted()) continue;
            if (const std::optional<std::uint64_t> loopStart = loopStartLocked()) {
                // The next lap is anchored at the end's own time rather than
                // at whenever this thread woke, so that laps neither gap nor drift.
                anchorHost_ = end;
                anchorMedia_ = samples[*loopStart].presentationTime;
                nextIndex_ = *loopStart;
                continue;
            }
            playing_ = false;
            atEnd_ = true;
            currentTime_ = item_->duration();
            statistics_.endHostTime = clock_->now();
            stateChangedLocked();
            wake_.notify_all();
            lock.unlock();
            announceStateChange();
            lock.lock();
            continue;
        }

        const std::uint64_t index = nextIndex_;
        // When looping, the last sample is followed by the next lap, due at the end.
        auto nextDueTime = [&]() -> std::optional<MediaTime> {
            if (index + 1 < samples.size()) return hostTimeFor(samples[index + 1].presentationTime);
            if (loopStartLocked()) return hostTimeFor(item_->duration());
            return std::nullopt;
        };
        auto tooLate = [&] {
            const std::optional<MediaTime> nextDue = nextDueTime();
            return nextDue && clock_->now() >= *nextDue;
        };
        if (tooLate()) {
            // Too late to be seen at all: the next sample is already due.
            ++statistics_.framesDropped;
            nextIndex_ = index + 1;
            continue;
        }
        // The picture is made ahead of its time, so that it is ready to be
        // handed over the moment it is due rather than a decode later.
        lock.unlock();
        PixelBufferRef buffer;
        Error failure;
        const bool rendered = renderSample(index, &buffer, &failure);
        if (!rendered) {
            // The item fails first, so that whoever sees playback stop also
            // finds the item failed; observers run here, without our lock.
            item_->failWithError(failure);
            lock.lock();
            playing_ = false;
            ++generation_;
            stateChangedLocked();
            wake_.notify_all();
            lock.unlock();
            announceStateChange();
            lock.lock();
            continue;
        }
        lock.lock();
        if (interrupted()) continue;

        const MediaTime deadline = hostTimeFor(samples[index].presentationTime);
        clock_->waitUntil(deadline, lock, wake_, interrupted);
        if (interrupted()) continue;
        if (tooLate()) {
            // Made, but too late to be seen: the next sample is already due.
            ++statistics_.framesDropped;
            nextIndex_ = index + 1;
            continue;
        }

        lock.unlock();
        {
            Presenting presenting(*this);
            const MediaTime shownAt = clock_->now();
            bool current;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                current = !interrupted();
                if (current) nextIndex_ = index + 1;
            }
            if (current) present(buffer, index, shownAt, shownAt > deadline + options_.lateTolerance);
        }
        // What the sink changed from inside the presentation.
        announceStateChange();
        lock.lock();
    }
}

}  // namespace velarium
