#pragma once

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
};

}  // namespace velarium::app
