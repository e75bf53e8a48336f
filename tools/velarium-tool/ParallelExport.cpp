// Frames decoded by several workers, written by one writer in order.
#include "tools/velarium-tool/ParallelExport.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

// How many decoded frames a worker may have waiting for the writer. Each
// holds one of its decoder's pixel buffers; one waiting frame keeps the
// writer fed, and the fewer buffers in flight, the warmer they stay in the
// caches (measured: a second one made the export slower).
constexpr std::size_t kFramesAheadPerWorker = 1;

// What a worker hands on for one frame: the frame, or why it has none.
struct DecodedFrame {
    Frame frame;
    Error error;
    bool decoded = false;
};

// One worker's frames on their way to the writer, in the worker's order.
class FrameQueue {
public:
    // Waits while the queue is full; false once the export has stopped.
    bool push(DecodedFrame item) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || items_.size() < kFramesAheadPerWorker; });
        if (stopped_) return false;
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }

    // Waits for the next frame. The writer only asks for a frame its worker
    // is bound to deliver: every frame up to the worker's first failure.
    DecodedFrame pop() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !items_.empty(); });
        DecodedFrame item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return item;
    }

    // Turns the worker away, waiting or not; frames still queued are dropped.
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        items_.clear();
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<DecodedFrame> items_;
    bool stopped_ = false;
};

DecodedFrame decodeOne(FrameSource& source, std::uint64_t index) {
    DecodedFrame item;
    try {
        item.decoded = source.decodeFrame(index, item.frame, &item.error);
    } catch (const std::bad_alloc&) {
        item = DecodedFrame{};
        item.error = toolError(kToolErrorOutOfMemory, "Not enough memory to decode frame " + std::to_string(index));
    }
    return item;
}

// A worker: frames first, first + step, ... before end, until one fails or
// the writer stops.
void decodeEvery(FrameSource& source, std::uint64_t first, std::uint64_t end, std::uint64_t step, FrameQueue& queue) {
    for (std::uint64_t index = first; index < end; index += step) {
        DecodedFrame item = decodeOne(source, index);
        const bool failed = !item.decoded;
        if (!queue.push(std::move(item)) || failed) return;
    }
}

// The workers, one per source, stopped and joined however the writer
// leaves (an exception included).
class Workers {
public:
    Workers(const std::vector<std::unique_ptr<FrameSource>>& sources, std::uint64_t first, std::uint64_t end)
        : queues_(sources.size()) {
        threads_.reserve(sources.size());
        for (std::size_t w = 0; w < sources.size(); ++w) {
            try {
                threads_.emplace_back(decodeEvery, std::ref(*sources[w]), first + w, end, sources.size(),
                                      std::ref(queues_[w]));
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    ~Workers() {
        for (FrameQueue& queue : queues_) queue.stop();
        for (std::thread& thread : threads_) thread.join();
    }

    bool allStarted() const { return threads_.size() == queues_.size(); }
    FrameQueue& queue(std::size_t worker) { return queues_[worker]; }

private:
    std::vector<FrameQueue> queues_;
    std::vector<std::thread> threads_;
};

}  // namespace

bool exportFramesInParallel(const std::vector<std::unique_ptr<FrameSource>>& sources, std::uint64_t first,
                            std::uint64_t end, const FrameWriter& write, Error* error) {
    Workers workers(sources, first, end);
    if (!workers.allStarted()) return fail(error, toolError(kToolErrorOutOfMemory, "Cannot start a decoding thread"));
    for (std::uint64_t index = first; index < end; ++index) {
        const DecodedFrame item = workers.queue((index - first) % sources.size()).pop();
        if (!item.decoded) return fail(error, item.error);
        if (!write(index, item.frame, error)) return false;
    }
    return true;
}

}  // namespace velarium::tool
