// The frame source for colour cycling: frames converted by the decoding
// core with their colour ranges turned, since cycling needs the file's own
// registers, which the extensions' pictures no longer hold.
#include <memory>
#include <vector>

#include "export/AnimationFile.h"
#include "tools/velarium-tool/FrameSource.h"

namespace velarium::tool {
namespace {

class CycledFrameSource final : public FrameSource {
public:
    CycledFrameSource(std::unique_ptr<ANIMParser> parser, const MediaTime& cyclingElapsed)
        : parser_(std::move(parser)), elapsed_(cyclingElapsed) {}

    std::uint64_t width() const override { return parser_->width(); }
    std::uint64_t height() const override { return parser_->height(); }
    std::uint64_t frameCount() const override { return parser_->numFrames(); }

    bool decodeFrame(std::uint64_t index, Frame& frame, Error* error) override {
        // Each frame gets bytes of its own: a writer may still hold the last.
        auto pixels = std::make_shared<std::vector<std::uint8_t>>(frameByteCount());
        if (!parser_->decodeFrameAtIndex(index, elapsed_, pixels->data(), pixels->size(), error)) return false;
        frame = Frame(std::move(pixels), width() * kBytesPerPixel);
        return true;
    }

private:
    std::unique_ptr<ANIMParser> parser_;
    MediaTime elapsed_;
};

}  // namespace

std::unique_ptr<FrameSource> openCycledFrameSource(const std::string& path, const MediaTime& cyclingElapsed,
                                                   Error* error) {
    auto parser = exporter::openAnimation(path, error);
    if (!parser) return nullptr;
    return std::make_unique<CycledFrameSource>(std::move(parser), cyclingElapsed);
}

}  // namespace velarium::tool
