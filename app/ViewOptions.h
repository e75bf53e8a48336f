#pragma once

#include <QSize>

#include <optional>

namespace velarium::app {

// How a document window first shows its picture.
struct ViewOptions {
    // An integer zoom; none = the largest integer zoom that fits the screen.
    std::optional<int> zoom;
    // Scale the picture to fit the window instead.
    bool fitToWindow = false;
    // Stretch by the picture's pixel aspect (BMHD xAspect:yAspect).
    bool correctPixelAspect = false;
    // A fitted window's size; none = the picture's own size, within the screen.
    std::optional<QSize> windowSize;
    // Choices carried over from an earlier window, not asked for: a zoom at
    // which the window would not fit the screen gives way to the first zoom.
    bool remembered = false;
};

// The choices of the last window, for the next one (none made: the defaults).
ViewOptions rememberedViewOptions();
// Keeps a window's choices: its zoom (or fit), aspect, and size when fitted.
void rememberViewOptions(const ViewOptions& options, QSize windowSize);

}  // namespace velarium::app
