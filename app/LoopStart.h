#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace velarium {
class PlayerItem;
}

namespace velarium::app {

// Where looping playback continues after the last frame. Deluxe Paint and
// its kin end an animation with two frames that rebuild the first two
// pictures, so that a player can wrap without a visible jump: when the last
// two frames equal frames 0 and 1 byte for byte, looping continues at frame
// 2; otherwise at frame 0. Frames are read through the item's track, as
// the player reads them. Stops early (answering 0) when `cancelled` is set.
std::uint64_t findLoopStartIndex(const PlayerItem& item, const std::atomic<bool>& cancelled);

// Runs findLoopStartIndex on a thread of its own and hands the answer to
// `found` on that thread. Destroying it cancels and waits for the thread.
class LoopStartSearch {
public:
    LoopStartSearch(std::shared_ptr<PlayerItem> item, std::function<void(std::uint64_t)> found);
    ~LoopStartSearch();
    LoopStartSearch(const LoopStartSearch&) = delete;
    LoopStartSearch& operator=(const LoopStartSearch&) = delete;

private:
    std::atomic<bool> cancelled_{false};
    std::thread thread_;
};

}  // namespace velarium::app
