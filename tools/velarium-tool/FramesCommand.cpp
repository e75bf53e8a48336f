// `frames`: decoded frames to PNG or raw BGRA files, or to standard output.
#include "tools/velarium-tool/FramesCommand.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>

#include "tools/velarium-tool/FrameSource.h"
#include "tools/velarium-tool/PNGWriter.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

constexpr int kMinimumIndexDigits = 4;

// The frames a request covers: [first, end).
struct FrameRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
};

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

// One frame's worth of bytes, reused for every frame.
std::unique_ptr<std::uint8_t[]> frameBuffer(std::uint64_t length, Error* error) {
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[length]);
    if (!buffer) fail(error, toolError(kToolErrorOutOfMemory, "Not enough memory for one frame"));
    return buffer;
}

Error writeError(const std::string& where, int errorNumber) {
    return toolError(kToolErrorCannotWrite, "Cannot write " + where + ": " + std::strerror(errorNumber));
}

bool writeRawFile(const std::string& path, const std::uint8_t* bytes, std::uint64_t length, Error* error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return fail(error, writeError(path, errno));
    const bool written = std::fwrite(bytes, 1, length, file) == length;
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) return fail(error, writeError(path, written ? errno : writeErrno));
    return true;
}

// All frames back to back on standard output, through one buffer.
bool writeToStandardOutput(FrameSource& source, const FrameRange& range, Error* error) {
    const std::uint64_t length = source.frameByteCount();
    auto buffer = frameBuffer(length, error);
    if (!buffer) return false;
    for (std::uint64_t index = range.first; index < range.end; ++index) {
        if (!source.copyFrame(index, buffer.get(), length, error)) return false;
        if (std::fwrite(buffer.get(), 1, length, stdout) != length) return fail(error, writeError("standard output", errno));
    }
    if (std::fflush(stdout) != 0) return fail(error, writeError("standard output", errno));
    return true;
}

bool writeToFolder(FrameSource& source, const FrameRange& range, const std::string& folder, FrameFormat format,
                   Error* error) {
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure || !std::filesystem::is_directory(folder))
        return fail(error, toolError(kToolErrorCannotWrite,
                                     "Cannot create the folder " + folder + ": " +
                                         (failure ? failure.message() : std::string("a file is in the way"))));

    const std::uint64_t length = source.frameByteCount();
    auto buffer = frameBuffer(length, error);
    if (!buffer) return false;
    const char* extension = format == FrameFormat::PNG ? "png" : "bgra";
    for (std::uint64_t index = range.first; index < range.end; ++index) {
        if (!source.copyFrame(index, buffer.get(), length, error)) return false;
        const std::string path =
            (std::filesystem::path(folder) / frameFileName(index, source.frameCount(), extension)).string();
        const bool written = format == FrameFormat::PNG
                                 ? writePNG(path, buffer.get(), source.width(), source.height(), error)
                                 : writeRawFile(path, buffer.get(), length, error);
        if (!written) return false;
    }
    return true;
}

}  // namespace

std::string frameFileName(std::uint64_t index, std::uint64_t frameCount, const char* extension) {
    int digits = 1;
    for (std::uint64_t last = frameCount > 0 ? frameCount - 1 : 0; last >= 10; last /= 10) ++digits;
    char name[64];
    std::snprintf(name, sizeof name, "frame_%0*" PRIu64 ".%s", std::max(digits, kMinimumIndexDigits), index,
                  extension);
    return name;
}

int runFramesCommand(const FramesOptions& options) {
    Error error;
    auto source = openFrameSource(options.file, &error);
    FrameRange range;
    bool done = source && chooseFrames(*source, options, range, &error);
    if (done) {
        done = options.output == kStandardOutputName
                   ? writeToStandardOutput(*source, range, &error)
                   : writeToFolder(*source, range, options.output, options.format, &error);
    }
    if (!done) {
        reportError(options.file, error);
        return kExitFailure;
    }
    return kExitSuccess;
}

}  // namespace velarium::tool
