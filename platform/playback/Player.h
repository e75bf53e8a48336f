#pragma once

#include <condition_variable>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/playback/ObserverList.h"
#include "platform/playback/PlaybackClock.h"
#include "platform/playback/PlayerItem.h"
#include "platform/playback/VideoSink.h"

namespace velarium {

struct PlaybackStatistics {
    std::uint64_t framesShown = 0;    // handed to the sink
    std::uint64_t framesLate = 0;     // shown, but later than their time allowed
    std::uint64_t framesDropped = 0;  // skipped because the next frame was already due
    MediaTime firstPlayHostTime;      // when play() first started playback
    MediaTime endHostTime;            // when playback reached the end of the item
};

// Plays a player item: shows each sample's picture through the sink at its
// presentation time on the clock, scaled by the playback rate, from the
// current time to the end of the item, then stops, or loops when a loop
// start is set. It never starts by itself.
//
// Frames travel the extensions' road: a sample cursor of the video track
// loads the sample buffer, the item's video decoder turns it into a pixel
// buffer from the item's pixel buffer manager. A failure on that road fails
// the item with the error unchanged and stops playback.
struct PlayerOptions {
    // A frame shown later than its time by more than this counts as late.
    MediaTime lateTolerance = MediaTime::make(5, 1000);
};

class Player {
public:
    // Prepares the item if it is not yet ready. A system clock is used when
    // none is given.
    Player(std::shared_ptr<PlayerItem> item, std::shared_ptr<VideoSink> sink,
           std::shared_ptr<PlaybackClock> clock = nullptr, PlayerOptions options = {});
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    const std::shared_ptr<PlayerItem>& currentItem() const { return item_; }

    // Starts playing from the current time; does nothing at the end of the item.
    void play();
    void pause();
    // Moves to the sample shown at `time` and shows it; playback continues
    // from there if it was playing. Times are clamped to the item.
    bool seekToTime(const MediaTime& time, Error* error = nullptr);
    // Pauses, moves by `count` samples (pinned at both ends) and shows the sample.
    bool stepByCount(std::int64_t count, Error* error = nullptr);

    // Playback speed: media seconds per second of the clock. rate() is the
    // speed now: defaultRate() while playing, 0 when paused or stopped.
    float rate() const;
    // The speed play() plays at, 1 unless set. Setting it while playing
    // changes the speed at once, from the current time, so that nothing
    // shown jumps: the next sample is due after what is left of the current
    // one at the new speed. Rates are positive and kept to a thousandth;
    // anything else is ignored.
    float defaultRate() const;
    void setDefaultRate(float rate);
    // As on the platform's player: 0 pauses; a positive rate becomes the
    // default rate and plays at it.
    void setRate(float rate);

    // Looping. With a loop start set, playback that reaches the end of the
    // item (the last sample's duration over) goes on with that sample at
    // that very time, lap after lap, until paused; play() at the end starts
    // there too. Unset, the default, plays the item once. An index past the
    // last sample also plays the item once.
    std::optional<std::uint64_t> loopStartIndex() const;
    void setLoopStartIndex(std::optional<std::uint64_t> index);

    MediaTime currentTime() const;
    bool isAtEnd() const;
    PlaybackStatistics statistics() const;
    // Blocks until playback is not running: paused, at the end, or failed.
    void waitUntilStopped();

    // State observers hear that the state may have changed: playback started,
    // paused, reached the end or failed, the rate changed, or a seek or step
    // moved the current time. They run on the thread where the change
    // happened (the playback thread for the end and for failures while
    // playing), with no lock of the player held, so they may ask the player
    // anything or drive it. A change made from inside a sink's presentation
    // is announced once the presentation is over. Several changes in quick
    // succession may be announced once. An observer removed while an
    // announcement is under way on another thread may still be called once.
    using StateObserver = ObserverList<>::Observer;
    std::uint64_t addStateObserver(StateObserver observer);
    void removeStateObserver(std::uint64_t token);

private:
    // A rate as the exact fraction the schedule is computed with.
    struct PlaybackRate {
        std::int64_t numerator = 1;
        std::int64_t denominator = 1;
        float value() const { return static_cast<float>(numerator) / static_cast<float>(denominator); }
    };
    static std::optional<PlaybackRate> playbackRate(float rate);

    bool itemIsReady(Error* error) const;
    // Host time at which media time `time` plays, while playing.
    MediaTime hostTimeFor(const MediaTime& time) const;
    MediaTime playheadLocked() const;
    MediaTime playheadAt(const MediaTime& hostTime) const;
    // The sample a lap starts over at, when looping is on and possible.
    std::optional<std::uint64_t> loopStartLocked() const;
    void run();
    // Produces the picture of sample `index` through the extensions.
    bool renderSample(std::uint64_t index, PixelBufferRef* pixelBuffer, Error* error);
    // Hands a picture to the sink; called with presentMutex_ held.
    void present(const PixelBufferRef& buffer, std::uint64_t index, const MediaTime& hostTime, bool late);
    // Shows sample `index` at once (seek, step) and makes `time` the current time.
    bool showNow(std::uint64_t index, const MediaTime& time, bool keepPlaying, Error* error);
    // Called with mutex_ held after the state changed: marks it for announcing.
    void stateChangedLocked() { stateChangePending_ = true; }
    // Tells the observers of a marked change; called with no player lock
    // held. Inside a presentation on this thread it leaves the mark for the
    // presentation to announce when it is over.
    void announceStateChange();

    // Holds presentMutex_ and notes which thread presents.
    class Presenting {
    public:
        explicit Presenting(Player& player);
        ~Presenting();

    private:
        Player& player_;
    };

    std::shared_ptr<PlayerItem> item_;
    std::shared_ptr<VideoSink> sink_;
    std::shared_ptr<PlaybackClock> clock_;
    PlayerOptions options_;

    // Playback state, guarded by mutex_.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool playing_ = false;
    bool quit_ = false;
    bool atEnd_ = false;
    std::uint64_t generation_ = 0;  // changes whenever the schedule is replaced
    std::uint64_t nextIndex_ = 0;   // next sample to show while playing
    MediaTime currentTime_ = MediaTime::zero();
    MediaTime anchorHost_;          // while playing, media time anchorMedia_ plays at host time anchorHost_
    MediaTime anchorMedia_;
    PlaybackRate defaultRate_;
    std::optional<std::uint64_t> loopStartIndex_;
    PlaybackStatistics statistics_;

    // The walker of the video track; one sample is rendered at a time.
    std::mutex renderMutex_;
    std::unique_ptr<SampleWalker> walker_;

    // Held from the decision to show a picture until the sink has it, so
    // that a picture of an abandoned schedule never follows a newer one.
    // Recursive: a sink may seek or step from inside its callback.
    std::recursive_mutex presentMutex_;
    int presentDepth_ = 0;  // guarded by presentMutex_
    std::atomic<std::thread::id> presentingThread_{};

    ObserverList<> stateObservers_;
    std::atomic<bool> stateChangePending_{false};

    std::thread thread_;
};

}  // namespace velarium
