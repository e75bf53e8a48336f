#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace velarium {
class PlaybackClock;
class Player;
}  // namespace velarium

namespace velarium::app {

// Playback ▸ Ping-Pong: plays a player's frames forth and back, 0 … last
// and last − 1 … 1, then again, until stopped. Each frame stays up for its
// own duration at the player's default rate, timed on `clock` (the
// system's unless given), and is shown through the player as a seek shows
// it, so that the player's sink, counter and state follow.
class PingPongPlayback {
public:
    explicit PingPongPlayback(std::shared_ptr<Player> player, std::shared_ptr<PlaybackClock> clock = nullptr);
    ~PingPongPlayback();
    PingPongPlayback(const PingPongPlayback&) = delete;
    PingPongPlayback& operator=(const PingPongPlayback&) = delete;

    // The last frame of the turn: the item's last unless set lower (to leave
    // out an animation's wrap-up frames). May change while playing.
    void setLastFrame(std::uint64_t index) { lastFrame_ = index; }

    // Shows frame `from` now and goes on forwards from it.
    void start(std::uint64_t from);
    // Waits until no frame is being shown; the player keeps the frame shown last.
    void stop();
    // Until stopped, or until a frame could not be shown.
    bool isRunning() const { return running_; }

private:
    void run(std::uint64_t index);
    std::uint64_t lastFrame() const;

    std::shared_ptr<Player> player_;
    std::shared_ptr<PlaybackClock> clock_;
    std::atomic<std::uint64_t> lastFrame_{UINT64_MAX};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;  // guarded by mutex_
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace velarium::app
