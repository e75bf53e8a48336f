#pragma once

// Opening animations in real document windows and reading back what the
// windows show, for the player view's tests.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QSlider>
#include <QTest>
#include <QUrl>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/GuiTestSupport.h"
#include "app/AppDelegate.h"
#include "app/BW_DocumentController.h"
#include "app/Document.h"
#include "app/DocumentWindow.h"
#include "app/PlayerView.h"
#include "app/TransportBar.h"
#include "app/VideoSurface.h"
#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/Hashing.h"
#include "support/SyntheticAnimations.h"

namespace velarium::testing {

// What the view draws beneath a picture, seen through a brush's transparent colour.
inline constexpr QRgb kViewBackdrop = 0xFF202020;

// The application delegate main() creates, once per process: it installs
// the shared document controller.
inline void ensureAppDelegate() {
    if (!app::AppDelegate::shared()) new app::AppDelegate(qApp);
}

inline app::BW_DocumentController* documentController() {
    return app::BW_DocumentController::sharedDocumentController();
}

// Opens `path` as every open does, through the document controller, with
// `options` for its window (none: the window picks its own zoom), and waits
// until the window is active and shows its first frame. Null, with a test
// failure, when that does not happen.
inline app::DocumentWindow* openWindow(const std::filesystem::path& path,
                                       std::optional<app::ViewOptions> options = app::ViewOptions{.zoom = 1}) {
    ensureAppDelegate();
    if (options) documentController()->setViewOptionsForNextWindow(*options);
    app::Document* opened = nullptr;
    documentController()->openDocumentWithContentsOfURL(
        QUrl::fromLocalFile(QString::fromStdString(path.string())), true,
        [&](app::Document* document, bool, const Error* error) {
            opened = document;
            if (error) ADD_FAILURE() << "opening " << path << ": " << error->localizedDescription;
        });
    if (!opened || !opened->window()) return nullptr;
    app::DocumentWindow* window = opened->window();
    if (!QTest::qWaitForWindowActive(window)) ADD_FAILURE() << "the window of " << path << " never became active";
    if (!QTest::qWaitFor([&] { return window->playerView()->currentFrameIndex().has_value(); }, 10000)) {
        ADD_FAILURE() << "the window of " << path << " never showed a frame";
        return nullptr;
    }
    return window;
}

inline void closeAllDocuments() {
    for (app::Document* document : QList<app::Document*>(documentController()->documents())) document->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Waits until the view shows frame `index`.
inline bool waitForFrame(app::DocumentWindow* window, std::uint64_t index, int timeoutMs = 5000) {
    return QTest::qWaitFor([&] { return window->playerView()->currentFrameIndex() == index; }, timeoutMs);
}

// Waits until playback has stopped by itself (the view polls the player).
inline bool waitUntilStopped(app::DocumentWindow* window, int timeoutMs) {
    return QTest::qWaitFor([&] { return !window->playerView()->isPlaying(); }, timeoutMs);
}

// Where the picture is in the window's own coordinates.
inline QRect pictureRectInWindow(app::DocumentWindow* window) {
    const app::VideoSurface* surface = window->playerView()->surface();
    const QRect picture = surface->pictureRect();
    return QRect(surface->mapTo(window, picture.topLeft()), picture.size());
}

// The picture as the window shows it: the picture's region of a grab of the
// whole window, so that anything covering or clipping it shows too.
inline QImage grabbedPicture(app::DocumentWindow* window) {
    return window->grab().toImage().copy(pictureRectInWindow(window));
}

inline std::string screenHash(const QImage& image) { return sha256Hex(packedBGRA(image)); }

// A scrubber drag as the slider reports one: pressed, moved through
// `values` (events handled between moves), released.
inline void dragScrubber(app::DocumentWindow* window, const std::vector<int>& values) {
    QSlider* scrubber = window->playerView()->transportBar()->scrubber();
    scrubber->setSliderDown(true);
    for (int value : values) {
        scrubber->setValue(value);
        QCoreApplication::processEvents();
    }
    scrubber->setSliderDown(false);
}

// A small animation of complete pictures: `pictures` names the picture of
// each frame, so that equal numbers make equal frames.
struct PictureSequence {
    unsigned width = 16;
    unsigned height = 8;
    unsigned xAspect = 10;
    unsigned yAspect = 11;
    std::vector<unsigned> pictures = {0, 1, 2, 3};
    std::uint32_t ticks = 6;                // per frame, in 1/60 s
    std::vector<std::uint32_t> frameTicks = {};  // each frame's own, instead
};

inline ByteVector pictureSequenceFile(const PictureSequence& sequence) {
    const SyntheticAnimation shape{.width = sequence.width, .height = sequence.height, .planes = 2};
    std::vector<ByteVector> frames;
    for (std::size_t f = 0; f < sequence.pictures.size(); ++f) {
        std::vector<ByteVector> chunks;
        if (f == 0) {
            chunks.push_back(bmhd({.width = sequence.width, .height = sequence.height, .planes = shape.planes,
                                   .xAspect = sequence.xAspect, .yAspect = sequence.yAspect}));
            chunks.push_back(chunk("CMAP", syntheticColourMap(shape)));
        }
        const std::uint32_t ticks = f < sequence.frameTicks.size() ? sequence.frameTicks[f] : sequence.ticks;
        chunks.push_back(anhd({.operation = 0, .relTime = ticks}));
        chunks.push_back(chunk("BODY", syntheticBody(shape, sequence.pictures[f])));
        frames.push_back(form("ILBM", chunks));
    }
    return animFile(frames);
}

// Every frame of an animation as the decoding core makes it, as images.
inline std::vector<QImage> coreFrames(const std::filesystem::path& file, ANIMBitmapHeader* header = nullptr) {
    ANIMParser parser(makeSharedBytes(readFileBytes(file)));
    std::vector<QImage> frames;
    if (!parser.parseWithError(nullptr)) return frames;
    if (header) *header = parser.bitmapHeader();
    const int width = static_cast<int>(parser.width());
    const int height = static_cast<int>(parser.height());
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        // ARGB32 rows are packed BGRA bytes with no gap, as the core writes them.
        QImage image(width, height, QImage::Format_ARGB32);
        parser.decodeFrameAtIndex(i, image.bits(), static_cast<std::uint64_t>(image.sizeInBytes()), nullptr);
        frames.push_back(image);
    }
    return frames;
}

// `frame` as the view shows it: transparent pixels show the backdrop.
inline QImage overBackdrop(const QImage& frame) {
    QImage shown = frame.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < shown.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(shown.scanLine(y));
        for (int x = 0; x < shown.width(); ++x)
            row[x] = qAlpha(row[x]) == 0 ? kViewBackdrop : (row[x] | 0xFF000000u);
    }
    return shown;
}

// Answers every modal dialog shown while it lives with `answer`, once per
// dialog, and counts them: for commands that may show more than one.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || modal == answered_) return;
            answered_ = modal;
            ++count_;
            // From the event loop rather than from inside this timer's slot,
            // so that a dialog the answer opens in turn is answered too.
            QTimer::singleShot(0, modal, [this, modal] { answer_(modal); });
        });
        timer_.start(10);
    }
    int count() const { return count_; }

private:
    std::function<void(QWidget*)> answer_;
    QTimer timer_;
    QPointer<QWidget> answered_;
    int count_ = 0;
};

// An action of the window's menus, by object name (MenuActions.h).
inline void trigger(app::DocumentWindow* window, const char* name) {
    QAction* action = window->action(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
}

}  // namespace velarium::testing
