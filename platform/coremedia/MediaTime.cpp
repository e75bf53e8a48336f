#include "MediaTime.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>

namespace velarium {
namespace {

using Wide = __int128;

constexpr std::int64_t kMaxValue = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinValue = std::numeric_limits<std::int64_t>::min();
constexpr std::int32_t kMaxTimescale = std::numeric_limits<std::int32_t>::max();

MediaTime special(std::uint32_t flag) {
    MediaTime t;
    t.value = 0;
    t.timescale = 1;
    t.flags = MediaTime::kValid | flag;
    return t;
}

// Rank of the non-numeric kinds, used to order them against numbers.
int rank(const MediaTime& t) {
    if (!t.isValid()) return 4;
    if (t.flags & MediaTime::kIndefinite) return 3;
    if (t.flags & MediaTime::kPositiveInfinity) return 2;
    if (t.flags & MediaTime::kNegativeInfinity) return 0;
    return 1;
}

// value / from-scale expressed in to-scale, rounded half away from zero.
Wide rescale(Wide value, Wide from, Wide to, bool* rounded) {
    Wide scaled = value * to;
    Wide quotient = scaled / from;
    Wide remainder = scaled % from;
    if (remainder != 0) {
        *rounded = true;
        Wide twice = remainder < 0 ? -remainder * 2 : remainder * 2;
        if (twice >= from) quotient += (scaled < 0 ? -1 : 1);
    }
    return quotient;
}

MediaTime fromWide(Wide value, std::int32_t timescale, bool rounded) {
    if (value > kMaxValue) return MediaTime::positiveInfinity();
    if (value < kMinValue) return MediaTime::negativeInfinity();
    MediaTime t = MediaTime::make(static_cast<std::int64_t>(value), timescale);
    if (rounded) t.flags |= MediaTime::kHasBeenRounded;
    return t;
}

MediaTime addNumeric(const MediaTime& a, const MediaTime& b) {
    bool rounded = a.hasBeenRounded() || b.hasBeenRounded();
    if (a.timescale == b.timescale)
        return fromWide(Wide(a.value) + Wide(b.value), a.timescale, rounded);

    // Exact: both in the least common multiple of the timescales.
    const Wide common = std::lcm<std::int64_t>(a.timescale, b.timescale);
    if (common <= kMaxTimescale) {
        Wide sum = Wide(a.value) * (common / a.timescale) + Wide(b.value) * (common / b.timescale);
        return fromWide(sum, static_cast<std::int32_t>(common), rounded);
    }
    // The common timescale does not fit: use the finer of the two and say
    // that the result was rounded.
    const std::int32_t scale = a.timescale > b.timescale ? a.timescale : b.timescale;
    Wide sum = rescale(a.value, a.timescale, scale, &rounded) + rescale(b.value, b.timescale, scale, &rounded);
    return fromWide(sum, scale, true);
}

}  // namespace

MediaTime MediaTime::make(std::int64_t value, std::int32_t timescale) {
    MediaTime t;
    if (timescale <= 0) return t;
    t.value = value;
    t.timescale = timescale;
    t.flags = kValid;
    return t;
}

MediaTime MediaTime::positiveInfinity() { return special(kPositiveInfinity); }
MediaTime MediaTime::negativeInfinity() { return special(kNegativeInfinity); }
MediaTime MediaTime::indefinite() { return special(kIndefinite); }

MediaTime MediaTime::makeWithSeconds(double seconds, std::int32_t preferredTimescale) {
    if (std::isnan(seconds) || preferredTimescale <= 0) return invalid();
    if (std::isinf(seconds)) return seconds > 0 ? positiveInfinity() : negativeInfinity();
    const double scaled = seconds * preferredTimescale;
    if (scaled >= 9.2e18) return positiveInfinity();
    if (scaled <= -9.2e18) return negativeInfinity();
    const double nearest = std::round(scaled);
    MediaTime t = make(static_cast<std::int64_t>(nearest), preferredTimescale);
    if (nearest != scaled) t.flags |= kHasBeenRounded;
    return t;
}

bool MediaTime::isNumeric() const {
    return isValid() && !(flags & (kPositiveInfinity | kNegativeInfinity | kIndefinite));
}

double MediaTime::seconds() const {
    if (!isValid() || isIndefinite()) return std::numeric_limits<double>::quiet_NaN();
    if (isPositiveInfinity()) return std::numeric_limits<double>::infinity();
    if (isNegativeInfinity()) return -std::numeric_limits<double>::infinity();
    return static_cast<double>(value) / timescale;
}

MediaTime MediaTime::convertScale(std::int32_t newTimescale) const {
    if (!isNumeric()) return *this;
    if (newTimescale <= 0) return invalid();
    bool rounded = hasBeenRounded();
    Wide v = rescale(value, timescale, newTimescale, &rounded);
    return fromWide(v, newTimescale, rounded);
}

std::string MediaTime::description() const {
    if (!isValid()) return "invalid";
    if (isIndefinite()) return "indefinite";
    if (isPositiveInfinity()) return "+infinity";
    if (isNegativeInfinity()) return "-infinity";
    char text[64];
    std::snprintf(text, sizeof text, "%lld/%d", static_cast<long long>(value), timescale);
    return text;
}

MediaTime operator+(const MediaTime& a, const MediaTime& b) {
    if (!a.isValid() || !b.isValid()) return MediaTime::invalid();
    if (a.isIndefinite() || b.isIndefinite()) return MediaTime::indefinite();
    const bool posInf = a.isPositiveInfinity() || b.isPositiveInfinity();
    const bool negInf = a.isNegativeInfinity() || b.isNegativeInfinity();
    if (posInf && negInf) return MediaTime::invalid();
    if (posInf) return MediaTime::positiveInfinity();
    if (negInf) return MediaTime::negativeInfinity();
    return addNumeric(a, b);
}

MediaTime operator-(const MediaTime& a) {
    if (!a.isValid() || a.isIndefinite()) return a;
    if (a.isPositiveInfinity()) return MediaTime::negativeInfinity();
    if (a.isNegativeInfinity()) return MediaTime::positiveInfinity();
    if (a.value == kMinValue) return MediaTime::positiveInfinity();
    MediaTime t = a;
    t.value = -a.value;
    return t;
}

MediaTime operator-(const MediaTime& a, const MediaTime& b) { return a + (-b); }

int compare(const MediaTime& a, const MediaTime& b) {
    const int ra = rank(a), rb = rank(b);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra != 1) return 0;
    const Wide left = Wide(a.value) * b.timescale;
    const Wide right = Wide(b.value) * a.timescale;
    return left < right ? -1 : (left > right ? 1 : 0);
}

MediaTime minimum(const MediaTime& a, const MediaTime& b) { return compare(b, a) < 0 ? b : a; }
MediaTime maximum(const MediaTime& a, const MediaTime& b) { return compare(b, a) > 0 ? b : a; }

}  // namespace velarium
