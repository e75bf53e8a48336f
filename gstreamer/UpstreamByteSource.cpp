#include "gstreamer/UpstreamByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "gstreamer/GstHandles.h"
#include "platform/mediaextension/FileByteSource.h"

namespace velarium::gst {
namespace {

// Pulled a piece at a time, so that upstream never has to hold a whole large
// file in one buffer of its own as well.
constexpr std::size_t kPullPiece = 1 << 20;

constexpr const char* kUpstreamErrorDomain = "org.gstreamer.flow";

Error flowError(GstFlowReturn flow) {
    return Error(kUpstreamErrorDomain, flow, std::string("Reading the stream failed: ") + gst_flow_get_name(flow));
}

}  // namespace

std::shared_ptr<PullByteSource> PullByteSource::open(GstPad* sinkPad) {
    gint64 length = -1;
    if (!gst_pad_peer_query_duration(sinkPad, GST_FORMAT_BYTES, &length) || length < 0) return nullptr;
    return std::shared_ptr<PullByteSource>(new PullByteSource(sinkPad, length));
}

bool PullByteSource::readDataOfLength(std::size_t length, std::int64_t offset, void* destination,
                                      std::size_t* bytesRead, Error* error) {
    if (bytesRead) *bytesRead = 0;
    if (offset < 0 || (!destination && length > 0))
        return fail(error, Error(kPOSIXErrorDomain, EINVAL, "Cannot read the file: Invalid argument"));
    auto* out = static_cast<std::uint8_t*>(destination);
    std::size_t done = 0;
    while (done < length) {
        BufferRef piece;
        const auto size = static_cast<guint>(std::min(kPullPiece, length - done));
        const GstFlowReturn flow = gst_pad_pull_range(pad_, static_cast<guint64>(offset) + done, size, piece.out());
        if (flow == GST_FLOW_EOS) break;  // a short read: the end of the stream
        if (flow != GST_FLOW_OK) {
            if (bytesRead) *bytesRead = done;
            return fail(error, flowError(flow));
        }
        const std::size_t got = gst_buffer_extract(piece.get(), 0, out + done, size);
        done += got;
        if (got < size) break;
    }
    if (bytesRead) *bytesRead = done;
    return true;
}

bool CollectedByteSource::readDataOfLength(std::size_t length, std::int64_t offset, void* destination,
                                           std::size_t* bytesRead, Error* error) {
    if (bytesRead) *bytesRead = 0;
    if (offset < 0 || (!destination && length > 0))
        return fail(error, Error(kPOSIXErrorDomain, EINVAL, "Cannot read the file: Invalid argument"));
    const auto start = std::min(static_cast<std::size_t>(offset), bytes_.size());
    const std::size_t count = std::min(length, bytes_.size() - start);
    if (count > 0) std::memcpy(destination, bytes_.data() + start, count);
    if (bytesRead) *bytesRead = count;
    return true;
}

}  // namespace velarium::gst
