#include "platform/playback/Player.h"

#include <algorithm>

#include "platform/playback/ExtensionCall.h"
#include "platform/playback/PlaybackError.h"

namespace velarium {
namespace {

Error playbackError(PlaybackErrorCode code, const char* text) { return Error(kPlaybackErrorDomain, code, text); }

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

MediaTime Player::hostTimeFor(const MediaTime& time) const { return anchorHost_ + (time - anchorMedia_); }

MediaTime Player::playheadLocked() const {
    if (!playing_) return currentTime_;
    return minimum(anchorMedia_ + (clock_->now() - anchorHost_), item_->duration());
}

void Player::play() {
    if (!itemIsReady(nullptr)) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (playing_ || atEnd_) return;  // no looping: the end stays the end
        const MediaTime now = clock_->now();
        anchorHost_ = now;
        anchorMedia_ = currentTime_;
        playing_ = true;
        ++generation_;
        if (!statistics_.firstPlayHostTime.isValid()) statistics_.firstPlayHostTime = now;
    }
    wake_.notify_all();
}

void Player::pause() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!playing_) return;
        currentTime_ = playheadLocked();
        playing_ = false;
        ++generation_;
    }
    wake_.notify_all();
}

float Player::rate() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return playing_ ? 1.0f : 0.0f;
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

    ExtensionCall<MESampleCursorRef> cursor;
    item_->videoTrackReader()->generateSampleCursorAtPresentationTimeStamp(target, cursor.handler());
    Error failure;
    std::optional<std::uint64_t> index;
    if (cursor.succeeded(&failure, "The track reader gave no cursor")) {
        index = item_->sampleIndexStartingAt(cursor.value->presentationTimeStamp());
        if (!index) failure = orExtensionFailure(Error(), "The track reader placed a cursor between samples");
    }
    if (!index) {
        pause();
        item_->failWithError(failure);
        return fail(error, failure);
    }
    return showNow(*index, target, true, cursor.value, error);
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
    return showNow(target, item_->sampleTimes()[target].presentationTime, false, nullptr, error);
}

bool Player::showNow(std::uint64_t index, const MediaTime& time, bool keepPlaying, MESampleCursorRef cursor,
                     Error* error) {
    bool wasPlaying;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        wasPlaying = playing_;
        playing_ = false;
        ++generation_;  // whatever the playback thread has in hand is not shown
    }
    wake_.notify_all();

    if (cursor) {
        std::lock_guard<std::mutex> guard(renderMutex_);
        cursor_ = std::move(cursor);
        cursorIndex_ = index;
    }
    PixelBufferRef buffer;
    Error failure;
    if (!renderSample(index, &buffer, &failure)) {
        item_->failWithError(failure);
        wake_.notify_all();
        return fail(error, failure);
    }

    std::lock_guard<std::recursive_mutex> presenting(presentMutex_);
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
    }
    wake_.notify_all();
    present(buffer, index, now, false);
    return true;
}

bool Player::moveCursorTo(std::uint64_t index, Error* error) {
    if (!cursor_) {
        ExtensionCall<MESampleCursorRef> first;
        item_->videoTrackReader()->generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(first.handler());
        if (!first.succeeded(error, "The track reader gave no cursor")) return false;
        cursor_ = first.value;
        cursorIndex_ = 0;
    }
    if (index == cursorIndex_) return true;
    ExtensionCall<std::int64_t> step;
    cursor_->stepInDecodeOrderByCount(static_cast<std::int64_t>(index) - static_cast<std::int64_t>(cursorIndex_),
                                      step.handler());
    if (!step.succeeded(error, "The sample cursor did not step")) return false;
    cursorIndex_ += step.value;
    if (cursorIndex_ != index)
        return fail(error, orExtensionFailure(Error(), "The sample cursor did not reach the sample"));
    return true;
}

bool Player::renderSample(std::uint64_t index, PixelBufferRef* pixelBuffer, Error* error) {
    std::lock_guard<std::mutex> guard(renderMutex_);
    if (!moveCursorTo(index, error)) return false;

    ExtensionCall<SampleBufferRef> sample;
    cursor_->loadSampleBufferContainingSamplesToEndCursor(nullptr, sample.handler());
    if (!sample.succeeded(error, "The sample cursor gave no sample")) return false;

    bool answered = false;
    std::optional<Error> failure;
    item_->videoDecoder()->decodeFrameFromSampleBuffer(
        sample.value, {}, [&](PixelBufferRef buffer, MEDecodeFrameStatus, const Error* decodeError) {
            answered = true;
            *pixelBuffer = std::move(buffer);
            if (decodeError) failure = *decodeError;
        });
    if (failure) return fail(error, *failure);
    if (!answered || !*pixelBuffer) return fail(error, orExtensionFailure(Error(), "The video decoder gave no picture"));
    return true;
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
            clock_->waitUntil(hostTimeFor(item_->duration()), lock, wake_, interrupted);
            if (interrupted()) continue;
            playing_ = false;
            atEnd_ = true;
            currentTime_ = item_->duration();
            statistics_.endHostTime = clock_->now();
            wake_.notify_all();
            continue;
        }

        const std::uint64_t index = nextIndex_;
        const MediaTime deadline = hostTimeFor(samples[index].presentationTime);
        clock_->waitUntil(deadline, lock, wake_, interrupted);
        if (interrupted()) continue;
        if (index + 1 < samples.size() && clock_->now() >= hostTimeFor(samples[index + 1].presentationTime)) {
            // Too late to be seen at all: the next sample is already due.
            ++statistics_.framesDropped;
            nextIndex_ = index + 1;
            continue;
        }

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
            wake_.notify_all();
            continue;
        }
        {
            std::lock_guard<std::recursive_mutex> presenting(presentMutex_);
            const MediaTime shownAt = clock_->now();
            bool current;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                current = !interrupted();
                if (current) nextIndex_ = index + 1;
            }
            if (current) present(buffer, index, shownAt, shownAt > deadline + options_.lateTolerance);
        }
        lock.lock();
    }
}

}  // namespace velarium
