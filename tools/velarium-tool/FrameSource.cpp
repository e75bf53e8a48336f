// The frame source backed by the decoding core.
#include "tools/velarium-tool/FrameSource.h"

#include "core/ANIMParser.h"
#include "tools/velarium-tool/AnimationFile.h"

namespace velarium::tool {
namespace {

class ParserFrameSource final : public FrameSource {
public:
    explicit ParserFrameSource(std::unique_ptr<ANIMParser> parser) : parser_(std::move(parser)) {}

    std::uint64_t width() const override { return parser_->width(); }
    std::uint64_t height() const override { return parser_->height(); }
    std::uint64_t frameCount() const override { return parser_->numFrames(); }

    bool copyFrame(std::uint64_t index, std::uint8_t* bytes, std::uint64_t length, Error* error) override {
        return parser_->decodeFrameAtIndex(index, bytes, length, error);
    }

private:
    std::unique_ptr<ANIMParser> parser_;
};

}  // namespace

std::unique_ptr<FrameSource> openFrameSource(const std::string& path, Error* error) {
    auto parser = openAnimation(path, error);
    if (!parser) return nullptr;
    return std::make_unique<ParserFrameSource>(std::move(parser));
}

}  // namespace velarium::tool
