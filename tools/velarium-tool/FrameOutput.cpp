// Writing decoded frames: raw BGRA rows straight from the decoder's pixel
// buffer, or PNG files.
#include "tools/velarium-tool/FrameOutput.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <filesystem>

#include "tools/velarium-tool/PNGWriter.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

constexpr int kMinimumIndexDigits = 4;

Error writeError(const std::string& where, int errorNumber) {
    return toolError(kToolErrorCannotWrite, "Cannot write " + where + ": " + std::strerror(errorNumber));
}

// The frame's rows in order: one write when they lie back to back.
bool writeRows(std::FILE* file, const Frame& frame, std::uint64_t width, std::uint64_t height) {
    const std::uint64_t rowLength = width * FrameSource::kBytesPerPixel;
    if (frame.bytesPerRow() == rowLength)
        return std::fwrite(frame.row(0), 1, rowLength * height, file) == rowLength * height;
    for (std::uint64_t y = 0; y < height; ++y)
        if (std::fwrite(frame.row(y), 1, rowLength, file) != rowLength) return false;
    return true;
}

bool writeRawFile(const std::string& path, const Frame& frame, std::uint64_t width, std::uint64_t height,
                  Error* error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return fail(error, writeError(path, errno));
    const bool written = writeRows(file, frame, width, height);
    const int writeErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) return fail(error, writeError(path, written ? errno : writeErrno));
    return true;
}

}  // namespace

FrameOutput::FrameOutput(const FramesOptions& options, std::uint64_t width, std::uint64_t height,
                         std::uint64_t frameCount)
    : folder_(options.output == kStandardOutputName ? std::string() : options.output),
      format_(options.format),
      width_(width),
      height_(height),
      frameCount_(frameCount) {}

bool FrameOutput::open(Error* error) {
    if (folder_.empty()) return true;
    std::error_code failure;
    std::filesystem::create_directories(folder_, failure);
    if (failure || !std::filesystem::is_directory(folder_))
        return fail(error, toolError(kToolErrorCannotWrite,
                                     "Cannot create the folder " + folder_ + ": " +
                                         (failure ? failure.message() : std::string("a file is in the way"))));
    return true;
}

bool FrameOutput::write(std::uint64_t index, const Frame& frame, Error* error) {
    if (folder_.empty()) {
        if (!writeRows(stdout, frame, width_, height_)) return fail(error, writeError("standard output", errno));
        return true;
    }
    const bool png = format_ == FrameFormat::PNG;
    const std::string path =
        (std::filesystem::path(folder_) / frameFileName(index, frameCount_, png ? "png" : "bgra")).string();
    return png ? writePNG(path, frame.row(0), frame.bytesPerRow(), width_, height_, error)
               : writeRawFile(path, frame, width_, height_, error);
}

bool FrameOutput::finish(Error* error) {
    if (folder_.empty() && std::fflush(stdout) != 0) return fail(error, writeError("standard output", errno));
    return true;
}

std::string frameFileName(std::uint64_t index, std::uint64_t frameCount, const char* extension) {
    int digits = 1;
    for (std::uint64_t last = frameCount > 0 ? frameCount - 1 : 0; last >= 10; last /= 10) ++digits;
    char name[64];
    std::snprintf(name, sizeof name, "frame_%0*" PRIu64 ".%s", std::max(digits, kMinimumIndexDigits), index,
                  extension);
    return name;
}

}  // namespace velarium::tool
