#include "demo/DemoScene.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace velarium::demo {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kHorizon = 128;  // first row of the field

// Colour registers.
constexpr std::uint8_t kShadowColor = 0;
constexpr int kBallShades = 5;             // registers 1 to 15: three balls, five shades each
constexpr int kBallCount = 3;
// Each ball's registers, highlight first. Neighbouring shades differ in one
// bitplane only, so a shade boundary changes one plane's row rather than
// several, and the packed BODY stays small.
constexpr std::array<std::array<std::uint8_t, kBallShades>, kBallCount> kBallRegisters = {{
    {1, 3, 2, 6, 7},
    {8, 9, 11, 10, 14},
    {12, 4, 5, 13, 15},
}};
constexpr std::uint8_t kFieldFirst = 16;   // 16 to 23: field stripes, cycled
constexpr std::uint8_t kSkyFirst = 24;     // 24 to 31: rainbow sky bands, cycled
constexpr int kCycleLength = 8;
constexpr int kSkyBandHeight = 8;
constexpr double kFieldDepth = 400;       // stripe number = depth / (rows below the horizon + offset)
constexpr double kFieldNearOffset = 12;

constexpr std::array<std::uint32_t, kCycleLength> kRainbow = {
    0xFF4F6E, 0xFF9348, 0xFFD94A, 0x7DE06A, 0x45D3E0, 0x4F8DFF, 0x8A6BFF, 0xE46BDC,
};
// Two light and two dark greens, twice, so that cycling walks the stripes towards the viewer.
constexpr std::array<std::uint32_t, kCycleLength> kFieldGreens = {
    0x6FD04E, 0x5EC243, 0x2F8F31, 0x27802B, 0x6FD04E, 0x5EC243, 0x2F8F31, 0x27802B,
};
// Highlight to core shadow, one row per ball.
constexpr std::array<std::array<std::uint32_t, kBallShades>, kBallCount> kBallColors = {{
    {0xFFE4DC, 0xFF7A66, 0xE2363A, 0xA31B2E, 0x5E0C1E},
    {0xE0F0FF, 0x74B4FF, 0x3570E6, 0x1C40A6, 0x0B1D5E},
    {0xFFFFE0, 0xFFE666, 0xF2B326, 0xB67214, 0x6A3C08},
}};
constexpr std::uint32_t kShadow = 0x184A1E;

struct Ball {
    int colors;           // which row of kBallRegisters and kBallColors
    double radius;
    double groundY;       // where it touches the field
    double bounceHeight;
    int bounces;          // bounces per loop of the animation
    double centreX;
    double swingX;        // horizontal amplitude
    double phase;         // fraction of the loop
};

// Farther balls (higher on the screen) first, so nearer ones cover them.
constexpr std::array<Ball, kBallCount> kBalls = {{
    {2, 14, 156, 70, 3, 230, 60, 0.25},
    {1, 17, 172, 80, 2, 90, 55, 0.6},
    {0, 21, 190, 90, 2, 165, 110, 0.0},
}};

std::uint32_t rotated(const std::array<std::uint32_t, kCycleLength>& colors, int index, int step) {
    return colors[static_cast<std::size_t>(((index - step) % kCycleLength + kCycleLength) % kCycleLength)];
}

void fillSpan(ChunkyPicture& picture, int y, int left, int right, std::uint8_t color) {
    if (y < 0 || y >= SceneSize::kHeight) return;
    left = std::max(left, 0);
    right = std::min(right, SceneSize::kWidth);
    for (int x = left; x < right; ++x) picture[y * SceneSize::kWidth + x] = color;
}

void drawBackground(ChunkyPicture& picture) {
    for (int y = 0; y < SceneSize::kHeight; ++y) {
        std::uint8_t color;
        if (y < kHorizon) {
            color = static_cast<std::uint8_t>(kSkyFirst + (y / kSkyBandHeight) % kCycleLength);
        } else {
            // Stripes narrow towards the horizon, as on a plane seen in perspective.
            const int distance = y - kHorizon + 1;
            const int stripe = static_cast<int>(kFieldDepth / (distance + kFieldNearOffset));
            color = static_cast<std::uint8_t>(kFieldFirst + (kCycleLength - 1 - stripe % kCycleLength));
        }
        fillSpan(picture, y, 0, SceneSize::kWidth, color);
    }
}

// An ellipse on the field under the ball, smaller while the ball is high.
void drawShadow(ChunkyPicture& picture, const Ball& ball, double centreX, double lift) {
    const double halfWidth = ball.radius * (1.0 - 0.45 * lift);
    const double halfHeight = std::max(2.0, ball.radius * 0.22 * (1.0 - 0.4 * lift));
    for (int y = static_cast<int>(ball.groundY - halfHeight); y <= static_cast<int>(ball.groundY + halfHeight); ++y) {
        const double dy = (y + 0.5 - ball.groundY) / halfHeight;
        if (y < kHorizon || dy * dy >= 1) continue;
        const double span = halfWidth * std::sqrt(1 - dy * dy);
        fillSpan(picture, y, static_cast<int>(std::lround(centreX - span)), static_cast<int>(std::lround(centreX + span)),
                 kShadowColor);
    }
}

// A sphere lit from the upper left, in five shades.
void drawBall(ChunkyPicture& picture, const Ball& ball, double centreX, double centreY) {
    constexpr double lx = -0.45, ly = -0.6, lz = 0.66;
    const int top = static_cast<int>(std::floor(centreY - ball.radius));
    const int bottom = static_cast<int>(std::ceil(centreY + ball.radius));
    for (int y = std::max(top, 0); y <= std::min(bottom, SceneSize::kHeight - 1); ++y) {
        const double dy = (y + 0.5 - centreY) / ball.radius;
        if (dy * dy >= 1) continue;
        const double halfSpan = std::sqrt(1 - dy * dy);
        const int left = static_cast<int>(std::lround(centreX - halfSpan * ball.radius));
        const int right = static_cast<int>(std::lround(centreX + halfSpan * ball.radius));
        for (int x = std::max(left, 0); x < std::min(right, SceneSize::kWidth); ++x) {
            const double dx = (x + 0.5 - centreX) / ball.radius;
            const double dz = std::sqrt(std::max(0.0, 1 - dx * dx - dy * dy));
            const double light = std::clamp(dx * lx + dy * ly + dz * lz, 0.0, 1.0);
            const int shade = std::clamp(static_cast<int>((1.0 - light) * kBallShades), 0, kBallShades - 1);
            picture[y * SceneSize::kWidth + x] = kBallRegisters[ball.colors][shade];
        }
    }
}

}  // namespace

std::vector<std::uint32_t> DemoScene::paletteForFrame(int frame) const {
    std::vector<std::uint32_t> palette(SceneSize::kColors, 0);
    palette[kShadowColor] = kShadow;
    for (int ball = 0; ball < kBallCount; ++ball)
        for (int shade = 0; shade < kBallShades; ++shade)
            palette[kBallRegisters[ball][shade]] = kBallColors[ball][shade];
    for (int i = 0; i < kCycleLength; ++i) {
        palette[kFieldFirst + i] = rotated(kFieldGreens, i, frame);
        palette[kSkyFirst + i] = rotated(kRainbow, i, frame);
    }
    return palette;
}

ChunkyPicture DemoScene::drawFrame(int frame) const {
    ChunkyPicture picture(SceneSize::kWidth * SceneSize::kHeight, 0);
    drawBackground(picture);
    const double t = static_cast<double>(frame) / frameCount_;
    for (const Ball& ball : kBalls) {
        // Whole numbers of bounces and swings per loop make the last frame lead back into the first.
        const double lift = std::abs(std::sin(kPi * (ball.bounces * t + ball.phase)));
        const double centreX = ball.centreX + ball.swingX * std::sin(2 * kPi * (t + ball.phase));
        drawShadow(picture, ball, centreX, lift);
        drawBall(picture, ball, centreX, ball.groundY - ball.radius - ball.bounceHeight * lift);
    }
    return picture;
}

Bytes chunkyToPlanar(const ChunkyPicture& picture, const PlanarGeometry& geometry) {
    Bytes planar(geometry.bufferSize(), 0);
    for (std::size_t y = 0; y < geometry.height; ++y) {
        for (std::size_t x = 0; x < geometry.width; ++x) {
            const std::uint8_t index = picture[y * geometry.width + x];
            const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x & 7));
            for (std::size_t p = 0; p < geometry.numPlanes; ++p)
                if (index & (1u << p)) planar[p * geometry.planeSize + y * geometry.rowBytes + x / 8] |= bit;
        }
    }
    return planar;
}

}  // namespace velarium::demo
