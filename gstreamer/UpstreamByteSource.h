#pragma once

// The format reader's byte source, served from upstream: pulled from the
// sink pad where upstream allows random access, or from the bytes collected
// while upstream pushed the stream.

#include <gst/gst.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/mediaextension/MEByteSource.h"

namespace velarium::gst {

// Reads with gst_pad_pull_range on a sink pad activated in pull mode. The
// length is what upstream says the stream's length in bytes is.
class PullByteSource final : public MEByteSource {
public:
    // Null when upstream does not tell the length.
    static std::shared_ptr<PullByteSource> open(GstPad* sinkPad);

    std::int64_t fileLength() const override { return length_; }
    bool readDataOfLength(std::size_t length, std::int64_t offset, void* destination, std::size_t* bytesRead,
                          Error* error) override;

private:
    PullByteSource(GstPad* sinkPad, std::int64_t length) : pad_(sinkPad), length_(length) {}

    GstPad* pad_;  // owned by the element, which outlives every read
    std::int64_t length_;
};

// The whole stream as upstream pushed it.
class CollectedByteSource final : public MEByteSource {
public:
    explicit CollectedByteSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    std::int64_t fileLength() const override { return static_cast<std::int64_t>(bytes_.size()); }
    bool readDataOfLength(std::size_t length, std::int64_t offset, void* destination, std::size_t* bytesRead,
                          Error* error) override;

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace velarium::gst
