#include "app/ScreenshotMode.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <optional>

#include "app/AppCommandLine.h"
#include "app/BW_DocumentController.h"
#include "app/Document.h"
#include "app/DocumentWindow.h"
#include "app/ErrorPresentation.h"
#include "app/InfoPanel.h"
#include "app/PlayerView.h"
#include "platform/playback/PlayerItem.h"

namespace velarium::app {
namespace {

// How long a frame may take to arrive before the run gives up.
constexpr int kFrameTimeoutMs = 60000;

class ScreenshotRun {
public:
    explicit ScreenshotRun(const AppCommandLine& commandLine) : commandLine_(commandLine) {
        setErrorPresenter([this](const Error& error) { failWith(oneLineMessage(error)); });
    }
    ~ScreenshotRun() { setErrorPresenter({}); }

    int run() {
        Document* document = openDocument();
        if (!document) return finish();
        PlayerItem* item = document->playerItem().get();
        if (!item || item->status() != PlayerItemStatus::readyToPlay) {
            // A failed item presents its error, which lands in failWith().
            QApplication::processEvents();
            if (!failure_) failWith(QStringLiteral("The animation could not be played"));
            return finish();
        }
        const quint64 count = item->sampleTimes().size();
        const quint64 frame = commandLine_.middleFrame ? count / 2 : commandLine_.frame.value_or(0);
        if (frame >= count) {
            failWith(QStringLiteral("Frame %1 is out of range: the animation has %2 frames").arg(frame).arg(count));
            return finish();
        }

        DocumentWindow* window = document->window();
        if (!showFrame(window->playerView(), frame)) return finish();
        if (!save(window->grab(), commandLine_.screenshotPath)) return finish();

        if (!commandLine_.infoScreenshotPath.isEmpty()) {
            document->showDocumentInfo();
            if (failure_) return finish();
            QApplication::processEvents();
            if (!save(document->infoPanel()->grab(), commandLine_.infoScreenshotPath)) return finish();
        }
        return finish();
    }

private:
    Document* openDocument() {
        auto* controller = BW_DocumentController::sharedDocumentController();
        controller->setViewOptionsForNextWindow(commandLine_.viewOptions);
        Document* opened = nullptr;
        controller->openDocumentWithContentsOfURL(
            QUrl::fromLocalFile(commandLine_.files.first()), true, [&](Document* document, bool, const Error* error) {
                if (error) failWith(oneLineMessage(*error));
                opened = document;
            });
        return opened;
    }

    // Seeks to the frame and waits until the window has been handed it.
    bool showFrame(PlayerView* view, quint64 frame) {
        QEventLoop loop;
        bool shown = false;
        QObject::connect(view, &PlayerView::frameShown, &loop, [&](std::uint64_t index) {
            if (index == frame) {
                shown = true;
                loop.quit();
            }
        });
        QTimer::singleShot(kFrameTimeoutMs, &loop, &QEventLoop::quit);
        stopWaiting_ = [&loop] { loop.quit(); };
        view->seekToFrame(frame);
        if (!shown && !failure_) loop.exec();
        stopWaiting_ = nullptr;
        if (!shown && !failure_) failWith(QStringLiteral("Frame %1 did not arrive in time").arg(frame));
        QApplication::processEvents();
        return shown && !failure_;
    }

    bool save(const QPixmap& pixmap, const QString& path) {
        if (pixmap.save(path, "PNG")) return true;
        failWith(QStringLiteral("Cannot write the screenshot to %1").arg(path));
        return false;
    }

    void failWith(const QString& message) {
        if (!failure_) failure_ = message;
        if (stopWaiting_) stopWaiting_();
    }

    int finish() {
        for (Document* document : QList<Document*>(BW_DocumentController::sharedDocumentController()->documents()))
            document->close();
        QApplication::processEvents();
        if (!failure_) return 0;
        std::fprintf(stderr, "velarium: %s\n", qPrintable(failure_->simplified()));
        return 1;
    }

    const AppCommandLine& commandLine_;
    std::optional<QString> failure_;
    std::function<void()> stopWaiting_;
};

}  // namespace

int runScreenshotMode(const AppCommandLine& commandLine) { return ScreenshotRun(commandLine).run(); }

}  // namespace velarium::app
