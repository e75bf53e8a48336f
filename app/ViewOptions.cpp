#include "app/ViewOptions.h"

#include <QSettings>

#include "app/SettingsKeys.h"

namespace velarium::app {

ViewOptions rememberedViewOptions() {
    const QSettings settings;
    ViewOptions options{.remembered = true};
    if (settings.contains(settings::kViewZoom)) {
        const int zoom = settings.value(settings::kViewZoom).toInt();
        if (zoom > 0) options.zoom = zoom;
        options.fitToWindow = zoom == 0;
    }
    options.correctPixelAspect = settings.value(settings::kViewCorrectPixelAspect, false).toBool();
    const QSize size = settings.value(settings::kViewWindowSize).toSize();
    if (options.fitToWindow && size.isValid() && !size.isEmpty()) options.windowSize = size;
    return options;
}

void rememberViewOptions(const ViewOptions& options, QSize windowSize) {
    QSettings settings;
    settings.setValue(settings::kViewZoom, options.fitToWindow ? 0 : options.zoom.value_or(1));
    settings.setValue(settings::kViewCorrectPixelAspect, options.correctPixelAspect);
    if (options.fitToWindow)
        settings.setValue(settings::kViewWindowSize, windowSize);
    else
        settings.remove(settings::kViewWindowSize);
}

}  // namespace velarium::app
