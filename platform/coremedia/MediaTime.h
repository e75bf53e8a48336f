#pragma once

#include <cstdint>
#include <string>

namespace velarium {

// A rational time: value / timescale seconds. Arithmetic is exact where the
// result can be represented; when it cannot, the result says so (the
// rounded flag, or an infinity) instead of silently wrapping.
struct MediaTime {
    enum Flags : std::uint32_t {
        kValid = 1u << 0,
        kHasBeenRounded = 1u << 1,
        kPositiveInfinity = 1u << 2,
        kNegativeInfinity = 1u << 3,
        kIndefinite = 1u << 4,
    };

    std::int64_t value = 0;
    std::int32_t timescale = 0;
    std::uint32_t flags = 0;
    std::int64_t epoch = 0;

    // An invalid time; timescale <= 0 also gives one.
    static MediaTime invalid() { return MediaTime{}; }
    static MediaTime make(std::int64_t value, std::int32_t timescale);
    static MediaTime zero() { return make(0, 1); }
    static MediaTime positiveInfinity();
    static MediaTime negativeInfinity();
    static MediaTime indefinite();
    // Nearest time to `seconds` in the given timescale (rounded flag set when inexact).
    static MediaTime makeWithSeconds(double seconds, std::int32_t preferredTimescale);

    bool isValid() const { return (flags & kValid) != 0; }
    bool isNumeric() const;  // valid and neither infinite nor indefinite
    bool isPositiveInfinity() const { return isValid() && (flags & kPositiveInfinity); }
    bool isNegativeInfinity() const { return isValid() && (flags & kNegativeInfinity); }
    bool isIndefinite() const { return isValid() && (flags & kIndefinite); }
    bool hasBeenRounded() const { return (flags & kHasBeenRounded) != 0; }

    double seconds() const;
    // The same time in another timescale, rounding half away from zero.
    MediaTime convertScale(std::int32_t newTimescale) const;

    std::string description() const;
};

MediaTime operator+(const MediaTime& a, const MediaTime& b);
MediaTime operator-(const MediaTime& a, const MediaTime& b);
MediaTime operator-(const MediaTime& a);

// Orders by value across timescales: -1, 0 or 1. Invalid times are equal to
// each other and greater than all others; indefinite is above +infinity.
int compare(const MediaTime& a, const MediaTime& b);

inline bool operator==(const MediaTime& a, const MediaTime& b) { return compare(a, b) == 0; }
inline bool operator!=(const MediaTime& a, const MediaTime& b) { return compare(a, b) != 0; }
inline bool operator<(const MediaTime& a, const MediaTime& b) { return compare(a, b) < 0; }
inline bool operator<=(const MediaTime& a, const MediaTime& b) { return compare(a, b) <= 0; }
inline bool operator>(const MediaTime& a, const MediaTime& b) { return compare(a, b) > 0; }
inline bool operator>=(const MediaTime& a, const MediaTime& b) { return compare(a, b) >= 0; }

MediaTime minimum(const MediaTime& a, const MediaTime& b);
MediaTime maximum(const MediaTime& a, const MediaTime& b);

}  // namespace velarium
