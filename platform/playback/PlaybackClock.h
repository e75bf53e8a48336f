#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/coremedia/MediaTime.h"

namespace velarium {

// The time base a player presents frames by. Injectable, so that tests can
// play in virtual time and get exact, repeatable presentation times.
class PlaybackClock {
public:
    virtual ~PlaybackClock();

    // The current host time; never goes backwards.
    virtual MediaTime now() const = 0;

    // Waits, with `lock` held on entry and exit, until now() reaches
    // `deadline` or `wake` is notified while `interrupted()` is true.
    virtual void waitUntil(const MediaTime& deadline, std::unique_lock<std::mutex>& lock,
                           std::condition_variable& wake, const std::function<bool()>& interrupted) = 0;
};

// The system's monotonic clock, in nanoseconds.
class SystemPlaybackClock final : public PlaybackClock {
public:
    MediaTime now() const override;
    void waitUntil(const MediaTime& deadline, std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                   const std::function<bool()>& interrupted) override;
};

// Virtual time that starts at zero and moves only when told to: a wait
// jumps straight to its deadline, and advance() stands for work that takes
// time (a slow display, say).
class ManualPlaybackClock final : public PlaybackClock {
public:
    MediaTime now() const override;
    void waitUntil(const MediaTime& deadline, std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                   const std::function<bool()>& interrupted) override;
    void advance(const MediaTime& delta);

private:
    mutable std::mutex mutex_;
    MediaTime now_ = MediaTime::zero();
};

}  // namespace velarium
