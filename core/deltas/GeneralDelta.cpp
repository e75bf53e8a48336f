// General delta (ANIM-4, and ANIM-l with fixed options): per plane, an info
// list of (offset, count) entries says where runs of elements from the data
// list go.
#include <algorithm>

#include "core/deltas/DeltaDecoding.h"
#include "core/deltas/PointerTable.h"

namespace velarium {
namespace {

// The table: eight data-list pointers, then eight info-list pointers, each
// counting 16-bit units from the start of the chunk.
constexpr std::size_t kTablePlanes = 8;
constexpr std::size_t kTableSize = 2 * kTablePlanes * kListPointerSize;
constexpr std::uint64_t kPointerUnit = 2;

constexpr std::uint32_t kBitLongElements = 1u << 0;
constexpr std::uint32_t kBitVertical = 1u << 4;
constexpr std::uint32_t kBitLongInfo = 1u << 5;

struct GeneralDeltaOptions {
    explicit GeneralDeltaOptions(std::uint32_t bits)
        : elementSize(bits & kBitLongElements ? 4 : 2),
          infoSize(bits & kBitLongInfo ? 4 : 2),
          exclusiveOr((bits & kDeltaBitExclusiveOr) != 0),
          vertical((bits & kBitVertical) != 0) {}

    std::size_t elementSize;
    std::size_t infoSize;
    bool exclusiveOr;
    bool vertical;
};

// The destination of a run's elements: successive elements go one element
// to the right through the plane (taken as one run of bytes), or one row
// down the same column.
class RunDestination {
public:
    RunDestination(Plane& plane, std::uint64_t start, const GeneralDeltaOptions& options)
        : plane_(plane), options_(options), offset_(start),
          row_(start / plane.rowBytes()), column_(start % plane.rowBytes()) {}

    // Whether this or any later element of the run can still land in the plane.
    bool inPlane() const {
        return options_.vertical ? row_ < plane_.height() : offset_ + options_.elementSize <= plane_.size();
    }

    void applyAndAdvance(const std::uint8_t* element) {
        if (options_.vertical) {
            plane_.applyInRow(row_, static_cast<std::ptrdiff_t>(column_), element, options_.elementSize,
                              options_.exclusiveOr);
            ++row_;
        } else {
            if (inPlane()) plane_.apply(offset_, element, options_.elementSize, options_.exclusiveOr);
            offset_ += options_.elementSize;
        }
    }

private:
    Plane& plane_;
    const GeneralDeltaOptions& options_;
    std::uint64_t offset_;
    std::uint64_t row_;
    std::size_t column_;
};

std::int64_t signedCount(std::uint32_t field, std::size_t size) {
    return size == 4 ? std::int64_t(std::int32_t(field)) : std::int64_t(std::int16_t(field));
}

// Decodes one plane; false when the data is damaged and the frame must stop.
bool decodePlane(ByteReader& info, ByteReader& elements, Plane plane, const GeneralDeltaOptions& options) {
    const std::uint32_t endOfList = options.infoSize == 4 ? 0xFFFFFFFFu : 0xFFFFu;
    for (;;) {
        std::uint32_t offset, countField;
        if (!info.readUnsigned(options.infoSize, offset)) return false;
        if (offset == endOfList) return true;
        if (!info.readUnsigned(options.infoSize, countField)) return false;
        const std::uint64_t start = std::uint64_t(offset) * options.elementSize;
        if (start + options.elementSize > plane.size()) return false;

        RunDestination destination(plane, start, options);
        const std::int64_t count = signedCount(countField, options.infoSize);
        if (count < 0) {
            const std::uint8_t* element = elements.take(options.elementSize);
            if (!element) return false;
            for (std::int64_t k = 0; k < -count && destination.inPlane(); ++k) destination.applyAndAdvance(element);
        } else {
            for (std::int64_t k = 0; k < count; ++k) {
                const std::uint8_t* element = elements.take(options.elementSize);
                if (!element) return false;
                destination.applyAndAdvance(element);
            }
        }
    }
}

}  // namespace

void decodeGeneralDelta(const std::uint8_t* data, std::size_t length, PlanarBitmap target, std::uint32_t bits) {
    if (length < kTableSize) return;
    const GeneralDeltaOptions options(bits);
    const ByteReader chunk(data, length);
    // The table describes eight planes; any further planes stay as they are.
    const std::size_t planes = std::min(target.geometry().numPlanes, kTablePlanes);
    for (std::size_t p = 0; p < planes; ++p) {
        const std::uint64_t dataStart = kPointerUnit * listPointer(chunk, p);
        const std::uint64_t infoStart = kPointerUnit * listPointer(chunk, kTablePlanes + p);
        if (dataStart == 0 || infoStart == 0) continue;
        if (dataStart >= length || infoStart >= length) return;
        ByteReader info = chunk.at(infoStart);
        ByteReader elements = chunk.at(dataStart);
        if (!decodePlane(info, elements, target.plane(p), options)) return;
    }
}

}  // namespace velarium
