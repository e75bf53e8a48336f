// Samples loaded by workers, turned into pictures and written in order by
// the calling thread.
#include "tools/velarium-tool/ParallelExport.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

// What a worker hands on for one frame: its sample, or why it has none.
struct LoadedSample {
    SampleBufferRef sample;
    Error error;
    bool loaded = false;
};

// Where one worker hands its samples to the writer, one at a time. The
// worker starts on its next sample once the writer has taken the last, so
// that the two overlap while at most two frame-sized buffers per worker are
// in use: the fewer there are, the warmer they stay in the caches.
class SampleSlot {
public:
    // Waits until the writer has taken the last sample; false once the export has stopped.
    bool waitUntilEmpty() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || !item_; });
        return !stopped_;
    }

    void put(LoadedSample item) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!stopped_) item_ = std::move(item);
        changed_.notify_all();
    }

    // Waits for the next sample. The writer only asks for a frame its worker
    // is bound to deliver: every frame up to the worker's first failure.
    LoadedSample take() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return item_.has_value(); });
        LoadedSample item = std::move(*item_);
        item_.reset();
        changed_.notify_all();
        return item;
    }

    // Turns the worker away, waiting or not; a sample still in the slot is dropped.
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        item_.reset();
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<LoadedSample> item_;
    bool stopped_ = false;
};

// Runs one step of a frame's work, turning a failed allocation into the
// frame's error.
template <typename Step>
bool guarded(std::uint64_t index, Error* error, Step step) {
    try {
        return step();
    } catch (const std::bad_alloc&) {
        return fail(error, toolError(kToolErrorOutOfMemory, "Not enough memory to decode frame " + std::to_string(index)));
    }
}

// A worker: samples of frames first, first + step, ... before end, until one
// fails or the writer stops.
void loadEvery(FrameSource& source, std::uint64_t first, std::uint64_t end, std::uint64_t step, SampleSlot& slot) {
    for (std::uint64_t index = first; index < end && slot.waitUntilEmpty(); index += step) {
        LoadedSample item;
        item.loaded = guarded(index, &item.error, [&] { return source.loadSample(index, item.sample, &item.error); });
        const bool failed = !item.loaded;
        slot.put(std::move(item));
        if (failed) return;
    }
}

// The workers, one per source, stopped and joined however the writer
// leaves (an exception included).
class Workers {
public:
    Workers(const std::vector<std::unique_ptr<FrameSource>>& sources, std::uint64_t first, std::uint64_t end)
        : slots_(sources.size()) {
        threads_.reserve(sources.size());
        for (std::size_t w = 0; w < sources.size(); ++w) {
            try {
                threads_.emplace_back(loadEvery, std::ref(*sources[w]), first + w, end, sources.size(),
                                      std::ref(slots_[w]));
            } catch (const std::system_error&) {
                break;
            }
        }
    }

    ~Workers() {
        for (SampleSlot& slot : slots_) slot.stop();
        for (std::thread& thread : threads_) thread.join();
    }

    bool allStarted() const { return threads_.size() == slots_.size(); }
    SampleSlot& slot(std::size_t worker) { return slots_[worker]; }

private:
    std::vector<SampleSlot> slots_;
    std::vector<std::thread> threads_;
};

}  // namespace

bool exportFramesInParallel(const std::vector<std::unique_ptr<FrameSource>>& sources, std::uint64_t first,
                            std::uint64_t end, const FrameWriter& write, Error* error) {
    Workers workers(sources, first, end);
    if (!workers.allStarted()) return fail(error, toolError(kToolErrorOutOfMemory, "Cannot start a decoding thread"));
    for (std::uint64_t index = first; index < end; ++index) {
        const std::size_t worker = (index - first) % sources.size();
        const LoadedSample item = workers.slot(worker).take();
        if (!item.loaded) return fail(error, item.error);
        // Each frame lets go of its pixel buffer before the next is decoded,
        // so the decoder keeps reusing the same one.
        Frame frame;
        if (!guarded(index, error, [&] { return sources[worker]->decodeSample(item.sample, frame, error); }) ||
            !write(index, frame, error))
            return false;
    }
    return true;
}

}  // namespace velarium::tool
