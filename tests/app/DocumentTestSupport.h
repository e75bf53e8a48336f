#pragma once

// What the application's tests share: the application as main() builds it,
// documents opened as the user opens them, alerts, small animations, and
// what the windows show, to compare with the core's frames.

#include <gtest/gtest.h>

#include <QAction>
#include <QSettings>
#include <QSlider>
#include <QUuid>

#include <optional>

#include "app/AppDelegate.h"
#include "app/BW_DocumentController.h"
#include "app/Document.h"
#include "app/DocumentWindow.h"
#include "app/PlayerView.h"
#include "app/SettingsKeys.h"
#include "app/TransportBar.h"
#include "app/VideoSurface.h"
#include "core/ANIMParser.h"
#include "support/Corpus.h"
#include "support/GuiTestSupport.h"
#include "support/Hashing.h"
#include "support/SyntheticAnimations.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {

// How long an alert that should not come is given to come after all.
inline constexpr int kQuietMs = 300;
// What the view draws around and beneath a picture (through a brush's transparent colour).
inline constexpr QRgb kViewBackdrop = 0xFF202020;

inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Accepts every alert as it is shown and keeps its text and informative text.
class AlertRecorder {
public:
    int count() const { return static_cast<int>(texts_.size()); }
    const QStringList& texts() const { return texts_; }
    // Exactly `expected` alerts came, and no more within kQuietMs; the last
    // says every one of `phrases`, in any case.
    ::testing::AssertionResult settlesAt(int expected, const QStringList& phrases = {}) {
        waitFor([&] { return count() >= expected; });
        QTest::qWait(kQuietMs);
        const QString last = texts_.isEmpty() ? QString() : texts_.last();
        const auto said = [&](const QString& phrase) { return last.contains(phrase, Qt::CaseInsensitive); };
        if (count() == expected && std::ranges::all_of(phrases, said)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << count() << " alerts: " << texts_.join(" | ").toStdString();
    }

private:
    QStringList texts_;
    ModalAnswerer answerer_{[this](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) texts_ << acceptMessageBox(box) + '\n' + box->informativeText();
    }};
};

// Settings start empty; every document is closed (and deleted) after each test.
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        // The Media Extension tip would come before the Open dialog; its own tests allow it.
        QSettings().setValue(settings::kMediaExtensionTipSuppressed, true);
        delegate_ = std::make_unique<app::AppDelegate>();
        delegate_->awakeFromNib();
    }
    void TearDown() override {
        closeAllDocuments();
        delegate_.reset();
    }

    static app::BW_DocumentController* controller() { return app::BW_DocumentController::sharedDocumentController(); }
    static void closeAllDocuments() {
        for (app::Document* document : QList<app::Document*>(controller()->documents())) document->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // A small animation that plays in a fraction of a second.
    std::filesystem::path animationFile(const std::string& name, std::size_t frames = 5) {
        return files_.write(name, syntheticAnimation({.ticks = std::vector<std::uint32_t>(frames, 2)}));
    }
    app::Document* open(const std::filesystem::path& path) {
        controller()->openURL(url(path));
        return controller()->documentForURL(url(path));
    }
    // Opens `path` with `options` (none: the window picks its zoom) and waits
    // until the window is active and shows the first frame.
    app::DocumentWindow* openWindow(const std::filesystem::path& path,
                                    std::optional<app::ViewOptions> options = app::ViewOptions{.zoom = 1}) {
        if (options) controller()->setViewOptionsForNextWindow(*options);
        app::Document* document = open(path);
        if (document && document->window() && QTest::qWaitForWindowActive(document->window()) && waitForFirstFrame(document))
            return document->window();
        ADD_FAILURE() << path << " opened no active window showing its first frame";
        return nullptr;
    }
    static bool waitForFirstFrame(app::Document* document) {
        return waitFor([document] { return document->window() && !document->window()->playerView()->currentImage().isNull(); });
    }

    // Folders named by a UUID in the temporary folder: playback copies.
    static QStringList playbackCopyFolders() {
        QStringList folders;
        for (const QString& name : QDir::temp().entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (name.size() == 36 && !QUuid::fromString(name).isNull()) folders << QDir::temp().filePath(name);
        return folders;
    }

    std::unique_ptr<app::AppDelegate> delegate_;
    TemporaryFolder files_;
};

// Every frame of an animation as the decoding core makes it, as images.
inline std::vector<QImage> coreFrames(const std::filesystem::path& file) {
    ANIMParser parser(makeSharedBytes(readFileBytes(file)));
    std::vector<QImage> frames;
    if (!parser.parseWithError(nullptr)) return frames;
    for (std::uint64_t i = 0; i < parser.numFrames(); ++i) {
        QImage image(static_cast<int>(parser.width()), static_cast<int>(parser.height()), QImage::Format_ARGB32);
        parser.decodeFrameAtIndex(i, image.bits(), static_cast<std::uint64_t>(image.sizeInBytes()), nullptr);
        frames.push_back(image);
    }
    return frames;
}

// ARGB32 rows are packed BGRA bytes with no gap, as the core writes them.
inline std::string screenHash(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    return sha256Hex(argb.constBits(), static_cast<std::size_t>(argb.sizeInBytes()));
}

// The bundled demo: 36 frames of 0.1 s, 320 × 200.
inline const std::vector<QImage>& demoFrames() {
    static const std::vector<QImage> frames = coreFrames(VELARIUM_DEMO_FILE);
    return frames;
}

// The corpus's 1280 × 720 bench animation; empty without the corpus.
inline std::filesystem::path benchAnimation() {
    const auto file = corpusDir() / "anim/bench/mm_op5_bench_256col_1280x720_200f.anim";
    return std::filesystem::exists(file) ? file : std::filesystem::path();
}

inline bool waitForFrame(app::DocumentWindow* window, std::uint64_t index, int timeoutMs = 5000) {
    return QTest::qWaitFor([&] { return window->playerView()->currentFrameIndex() == index; }, timeoutMs);
}

inline bool waitUntilStopped(app::DocumentWindow* window, int timeoutMs) {
    return QTest::qWaitFor([&] { return !window->playerView()->isPlaying(); }, timeoutMs);
}

inline QRect pictureRectInWindow(app::DocumentWindow* window) {
    const app::VideoSurface* surface = window->playerView()->surface();
    return surface->pictureRect().translated(surface->mapTo(window, QPoint())).toAlignedRect();
}

// The picture as the window shows it, in device pixels: its region of a grab
// of the whole window, so that anything covering or clipping it shows too.
inline QImage grabbedPicture(app::DocumentWindow* window) {
    const app::VideoSurface* surface = window->playerView()->surface();
    const QPointF origin = QPointF(surface->mapTo(window, QPoint())) * window->devicePixelRatio();
    QImage grab = window->grab().toImage();
    grab.setDevicePixelRatio(1);  // so that the copy takes device pixels
    return grab.copy(surface->devicePictureRect(origin));
}

// A scrubber drag as the slider reports one: pressed, moved through `values`, released.
inline void dragScrubber(app::DocumentWindow* window, const std::vector<int>& values) {
    QSlider* scrubber = window->playerView()->transportBar()->scrubber();
    scrubber->setSliderDown(true);
    for (int value : values) {
        scrubber->setValue(value);
        QCoreApplication::processEvents();
    }
    scrubber->setSliderDown(false);
}

inline void trigger(app::DocumentWindow* window, const char* name) {
    QAction* action = window->action(name);
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
}

}  // namespace velarium::testing
