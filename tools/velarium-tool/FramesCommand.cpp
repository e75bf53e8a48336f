// `frames`: decoded frames to PNG or raw BGRA files, or to standard output.
#include "tools/velarium-tool/FramesCommand.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "tools/velarium-tool/FrameOutput.h"
#include "tools/velarium-tool/FrameSource.h"
#include "tools/velarium-tool/ParallelExport.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

// The frames a request covers: [first, end).
struct FrameRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};

std::unique_ptr<FrameSource> openSource(const FramesOptions& options, Error* error) {
    return options.cycleAt ? openCycledFrameSource(options.file, *options.cycleAt, error)
                           : openFrameSource(options.file, error);
}

bool chooseFrames(const FrameSource& source, const FramesOptions& options, FrameRange& range, Error* error) {
    if (source.width() == 0 || source.height() == 0)
        return fail(error, toolError(kToolErrorEmptyPicture,
                                     "The animation's picture is empty (" + std::to_string(source.width()) + " x " +
                                         std::to_string(source.height()) + " pixels)"));
    const std::uint64_t frameCount = source.frameCount();
    if (options.from >= frameCount)
        return fail(error, toolError(kToolErrorFrameRange, "--from " + std::to_string(options.from) +
                                                               " is past the last frame (" +
                                                               std::to_string(frameCount - 1) + ")"));
    range.first = options.from;
    // --count asks for at most that many: the range stops at the last frame.
    const std::uint64_t available = frameCount - options.from;
    range.end = range.first + std::min(options.count.value_or(available), available);
    return true;
}

bool writeFrames(FrameSource& source, const FrameRange& range, FrameOutput& output, Error* error) {
    for (std::uint64_t index = range.first; index < range.end; ++index) {
        // Each frame lets go of its pixel buffer before the next is decoded,
        // so the decoder keeps reusing the same one.
        Frame frame;
        if (!source.decodeFrame(index, frame, error) || !output.write(index, frame, error)) return false;
    }
    return true;
}

// The same with `jobs` workers, each with a source of its own: the one
// already open and jobs - 1 more.
bool writeFramesInParallel(std::unique_ptr<FrameSource> source, const FramesOptions& options, unsigned jobs,
                           const FrameRange& range, FrameOutput& output, Error* error) {
    std::vector<std::unique_ptr<FrameSource>> sources;
    sources.push_back(std::move(source));
    while (sources.size() < jobs) {
        sources.push_back(openSource(options, error));
        if (!sources.back()) return false;
    }
    const FrameWriter write = [&](std::uint64_t index, const Frame& frame, Error* writeError) {
        return output.write(index, frame, writeError);
    };
    return exportFramesInParallel(sources, range.first, range.end, write, error);
}

}  // namespace

int runFramesCommand(const FramesOptions& options) {
    Error error;
    auto source = openSource(options, &error);
    FrameRange range;
    bool done = source && chooseFrames(*source, options, range, &error);
    if (done) {
        FrameOutput output(options, source->width(), source->height(), source->frameCount());
        // More workers than frames would have nothing to do.
        const auto jobs = static_cast<unsigned>(std::min<std::uint64_t>(options.jobs, range.end - range.first));
        done = output.open(&error) &&
               (jobs > 1 ? writeFramesInParallel(std::move(source), options, jobs, range, output, &error)
                         : writeFrames(*source, range, output, &error)) &&
               output.finish(&error);
    }
    if (!done) {
        reportError(options.file, error);
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace velarium::tool
