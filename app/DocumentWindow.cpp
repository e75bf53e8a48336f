#include "app/DocumentWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDrag>
#include <QTemporaryDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <ranges>

#include "app/AppDelegate.h"
#include "app/BW_DocumentController.h"
#include "app/ColourCycler.h"
#include "platform/playback/Player.h"
#include "platform/playback/PlayerItem.h"
#include "app/Document.h"
#include "app/ErrorPresentation.h"
#include "app/ExportWorkflow.h"
#include "app/FullScreenChrome.h"
#include "app/GoToFrameDialog.h"
#include "app/MenuActions.h"
#include "app/PlayerView.h"
#include "app/SettingsKeys.h"
#include "app/ShortcutsDialog.h"
#include "app/TransportBar.h"
#include "app/VideoSurface.h"

namespace velarium::app {
namespace {

// Share of the available screen a new window may take at most.
constexpr double kScreenShare = 0.9;
// One refresh of a 60 Hz display.
constexpr qint64 kRefreshNs = 16'666'667;
// A new window's zoom keeps it within this share of the screen's height, so
// that a small brush does not open in a window filling the screen.
constexpr double kFirstZoomHeightShare = 2.0 / 3.0;
// Room a window manager's title bar and borders take, at a guess.
constexpr int kWindowDecoration = 40;

BW_DocumentController* controller() { return BW_DocumentController::sharedDocumentController(); }

}  // namespace

DocumentWindow::DocumentWindow(Document* document, const ViewOptions& options)
    : document_(document), initialOptions_(options) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);
    setWindowTitle(document->displayName());
    setWindowFilePath(document->fileURL().toLocalFile());

    playerView_ = new PlayerView(this);
    setCentralWidget(playerView_);
    export_ = new ExportWorkflow(document, this);
    cycleTimer_ = new QTimer(this);
    cycleTimer_->setSingleShot(true);
    cycleTimer_->setTimerType(Qt::PreciseTimer);
    connect(cycleTimer_, &QTimer::timeout, this, [this] {
        // While playing, a step the next frame will show anyway within a
        // refresh is left to it: one picture and one paint instead of two,
        // and the frame's own paint is not held up behind the step's.
        if (!(playerView_->isPlaying() && cyclingClock_.nsecsElapsed() + kRefreshNs >= nextFrameDueNs_))
            playerView_->refreshPictureOverride();
        scheduleCycleStep();
    });
    connect(playerView_, &PlayerView::frameShown, this, [this](std::uint64_t index) {
        if (!cyclingClock_.isValid() || !document_->player() || !document_->player()->currentItem()) return;
        const auto& samples = document_->player()->currentItem()->sampleTimes();
        if (index < samples.size())
            nextFrameDueNs_ = cyclingClock_.nsecsElapsed() +
                              static_cast<qint64>(samples[index].duration.seconds() * 1e9 / std::max(playerView_->rate(), 0.25f));
    });
    buildMenus();
    fullScreenChrome_ =
        new FullScreenChrome(this, playerView_->surface(), menuBar(), playerView_->transportBar());
    connect(playerView_, &PlayerView::doubleClicked, this, &DocumentWindow::toggleFullScreen);
    connect(playerView_, &PlayerView::dragOutStarted, this, &DocumentWindow::dragFrameOut);
    connect(playerView_, &PlayerView::zoomChosen, this, &DocumentWindow::rememberView);
    playerView_->setLooping(action(kLoopAction)->isChecked());
    playerView_->setPingPong(action(kPingPongAction)->isChecked());

    connect(document, &Document::playerChanged, this, &DocumentWindow::attachPlayer);
    connect(document, &Document::fileURLChanged, this, &DocumentWindow::fileURLChanged);
    connect(document, &Document::playerItemReady, this, &DocumentWindow::playerItemReady);
    connect(document, &Document::playerItemFailed, playerView_, &PlayerView::playerItemStatusChanged);
    readPixelAspect();
    attachPlayer();
    playerView_->surface()->setFocus();
}

DocumentWindow::~DocumentWindow() = default;

void DocumentWindow::attachPlayer() {
    // Another file, or the same read again: cycling waits for its picture.
    QAction* cycle = action(kCycleColoursAction);
    cycle->setChecked(false);
    cycle->setEnabled(false);
    playerView_->setPlayer(document_->player(), document_->frameSink());
    applyInitialView();
}

void DocumentWindow::playerItemReady() {
    playerView_->playerItemStatusChanged();
    refreshColourCycling();
    applyInitialView();
    if (sizeWhenReady_ && !playerView_->pictureSize().isEmpty()) {
        sizeWhenReady_ = false;
        if (!isFullScreen() && !isMaximized()) sizeToPicture();
    }
}

void DocumentWindow::fileURLChanged() {
    setWindowTitle(document_->displayName());
    setWindowFilePath(document_->fileURL().toLocalFile());
    readPixelAspect();
    sizeWhenReady_ = true;
    refreshNeighbours();
}

void DocumentWindow::refreshNeighbours() {
    const QFileInfo file(document_->fileURL().toLocalFile());
    neighbours_ = neighboursOf(file.absoluteFilePath(), animationsInFolder(file.absolutePath()));
    action(kNextAnimationAction)->setEnabled(!neighbours_.next.isEmpty());
    action(kPreviousAnimationAction)->setEnabled(!neighbours_.previous.isEmpty());
}

void DocumentWindow::openNeighbourAnimation(int direction) {
    const QString path = direction > 0 ? neighbours_.next : neighbours_.previous;
    if (path.isEmpty()) return;
    const QUrl url = QUrl::fromLocalFile(path);
    // The folder may have changed since it was looked at: a file that is
    // gone is said once, and the next press goes past it.
    Error error;
    const QString type = controller()->typeForContentsOfURL(url, &error);
    if (type.isEmpty() || !controller()->hasDocumentClassForType(type)) {
        refreshNeighbours();
        presentError(type.isEmpty() ? error : cannotOpenTypeError(path), this);
        return;
    }
    document_->replaceFileURL(url, type);
}

void DocumentWindow::documentClosing() {
    action(kCycleColoursAction)->setChecked(false);
    playerView_->setPlayer(nullptr, nullptr);
}

void DocumentWindow::refreshColourCycling() {
    document_->colourCycler();
    action(kCycleColoursAction)->setEnabled(document_->cyclesColours());
}

void DocumentWindow::setColourCycling(bool on) {
    if (!on) {
        cycleTimer_->stop();
        playerView_->setPictureOverride({});
        return;
    }
    cyclingClock_.start();
    // Every frame the player hands over, and every step, is shown with the
    // colours turned as they stand at that moment.
    playerView_->setPictureOverride([this](std::uint64_t index) {
        ColourCycler* cycler = document_->colourCycler();
        return cycler ? cycler->frame(index, cyclingClock_.nsecsElapsed()) : QImage();
    });
    scheduleCycleStep();
}

void DocumentWindow::scheduleCycleStep() {
    const ColourCycler* cycler = document_->colourCycler();
    if (!cycler || !cycler->cycles() || !cyclingClock_.isValid()) return;
    const qint64 now = cyclingClock_.nsecsElapsed();
    const qint64 wait = cycler->nextStepAfter(now) - now;
    constexpr qint64 kNanosecondsPerMillisecond = 1'000'000;
    cycleTimer_->start(static_cast<int>((wait + kNanosecondsPerMillisecond - 1) / kNanosecondsPerMillisecond));
}

void DocumentWindow::readPixelAspect() {
    const auto [xAspect, yAspect] = document_->pixelAspect();
    playerView_->setPixelAspect(xAspect, yAspect);
}

QSize DocumentWindow::windowSizeAround(QSize view) const {
    const int width = std::max(view.width(), playerView_->transportBar()->minimumSizeHint().width());
    const int height = view.height() + menuBar()->sizeHint().height() +
                       playerView_->transportBar()->sizeHint().height();
    return {width, height};
}

bool DocumentWindow::fitsScreen(int zoom, double heightShare) const {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen || playerView_->pictureSize().isEmpty()) return true;
    const QSize available = screen->availableGeometry().size();
    // The transport bar's width is the window's least; only the picture's
    // width depends on the zoom.
    const QSize view = playerView_->viewSizeAtZoom(zoom);
    const int height = windowSizeAround(view).height() + kWindowDecoration;
    return view.width() <= available.width() * kScreenShare && height <= available.height() * heightShare;
}

int DocumentWindow::firstZoom() const {
    if (playerView_->pictureSize().isEmpty()) return 1;
    for (int zoom : PlayerView::kZoomSteps | std::views::reverse)
        if (fitsScreen(zoom, kFirstZoomHeightShare)) return zoom;
    return fitsScreen(1, kScreenShare) ? 1 : 0;
}

void DocumentWindow::rememberView() {
    if (isFullScreen()) return;  // full screen's own zoom is no choice
    rememberViewOptions(playerView_->viewOptions(), isMaximized() ? normalGeometry().size() : size());
}

void DocumentWindow::applyInitialView() {
    if (initialViewApplied_ || playerView_->pictureSize().isEmpty()) return;
    initialViewApplied_ = true;
    ViewOptions options = initialOptions_;
    playerView_->setCorrectPixelAspect(options.correctPixelAspect);
    // A zoom carried over from a smaller picture may not suit this one.
    if (options.remembered && options.zoom && !options.fitToWindow && !fitsScreen(*options.zoom, kScreenShare))
        options.zoom.reset();
    if (!options.fitToWindow && !options.zoom) {
        const int zoom = firstZoom();
        if (zoom >= 1)
            options.zoom = zoom;
        else
            options.fitToWindow = true;  // even 1× is larger than the screen
    }
    playerView_->setViewOptions(options);
    action(kCorrectPixelAspectAction)->setChecked(options.correctPixelAspect);
    sizeToPicture();
}

void DocumentWindow::sizeToPicture() {
    const ViewOptions& options = playerView_->viewOptions();
    QSize view = playerView_->viewSizeAtZoom(options.fitToWindow ? 1 : playerView_->zoom());
    if (options.fitToWindow && options.windowSize) {
        resize(*options.windowSize);
        return;
    }
    if (options.fitToWindow) {
        const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen) view = view.boundedTo(screen->availableGeometry().size() * kScreenShare);
    }
    resize(windowSizeAround(view));
}

void DocumentWindow::growToPicture() {
    // Only a window the user has not made full screen or maximised, and no
    // further than the screen.
    if (isFullScreen() || isMaximized() || playerView_->viewOptions().fitToWindow) return;
    QSize wanted = size().expandedTo(windowSizeAround(playerView_->viewSizeAtZoom(playerView_->zoom())));
    if (const QScreen* screen = this->screen())
        wanted = wanted.boundedTo(screen->availableGeometry().size() - QSize(0, kWindowDecoration));
    resize(wanted);
}

QAction* DocumentWindow::action(const char* name) const { return findChild<QAction*>(QString::fromLatin1(name)); }

QAction* DocumentWindow::addAction(QMenu* menu, const char* name, const QString& text,
                                   const QList<QKeySequence>& shortcuts) {
    QAction* item = menu->addAction(text);
    item->setObjectName(QString::fromLatin1(name));
    item->setShortcuts(shortcuts);
    return item;
}

void DocumentWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    connect(addAction(file, kOpenDocumentAction, tr("&Open…"), {QKeySequence::Open}), &QAction::triggered, this,
            [this] { controller()->openDocument(this); });
    recentMenu_ = file->addMenu(tr("Open &Recent"));
    connect(recentMenu_, &QMenu::aboutToShow, this, &DocumentWindow::rebuildRecentMenu);
    connect(controller(), &BW_DocumentController::recentDocumentsChanged, this, &DocumentWindow::rebuildRecentMenu);
    rebuildRecentMenu();
    file->addSeparator();
    connect(addAction(file, kNextAnimationAction, tr("&Next Animation"), {QKeySequence(Qt::Key_PageDown)}),
            &QAction::triggered, this, [this] { openNeighbourAnimation(1); });
    connect(addAction(file, kPreviousAnimationAction, tr("&Previous Animation"), {QKeySequence(Qt::Key_PageUp)}),
            &QAction::triggered, this, [this] { openNeighbourAnimation(-1); });
    file->addSeparator();
    // Ctrl+W on every desktop: Qt's standard binding for Close is Ctrl+F4
    // alone where no desktop theme names another.
    connect(addAction(file, kCloseDocumentAction, tr("&Close"), {QKeySequence(Qt::CTRL | Qt::Key_W)}), &QAction::triggered, this,
            &QWidget::close);
    connect(addAction(file, kRevertDocumentAction, tr("Re&load"), {QKeySequence::Refresh}), &QAction::triggered,
            this, [this] { document_->revertDocumentToSaved(); });
    file->addSeparator();
    connect(addAction(file, kExportFrameAction, tr("&Export Frame…"), {QKeySequence(tr("Ctrl+E"))}),
            &QAction::triggered, this, &DocumentWindow::exportFrame);
    connect(addAction(file, kExportAnimationAction, tr("Export &Animation…"), {QKeySequence(tr("Shift+Ctrl+E"))}),
            &QAction::triggered, export_, &ExportWorkflow::exportAnimation);
    connect(addAction(file, kExportFramesAction, tr("Export Fra&mes…")), &QAction::triggered, export_,
            &ExportWorkflow::exportFrames);
    file->addSeparator();
    QAction* quit = addAction(file, kQuitAction, tr("&Quit"), {QKeySequence::Quit});
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::closeAllWindows);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    connect(addAction(edit, kCopyFrameAction, tr("&Copy Frame"), {QKeySequence::Copy}), &QAction::triggered, this,
            &DocumentWindow::copyFrame);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    connect(addAction(view, kActualSizeAction, tr("&Actual Size"), {QKeySequence(tr("Ctrl+0"))}),
            &QAction::triggered, playerView_, &PlayerView::actualSize);
    connect(addAction(view, kZoomInAction, tr("Zoom &In"), {QKeySequence::ZoomIn, QKeySequence(tr("Ctrl+="))}),
            &QAction::triggered, playerView_, &PlayerView::zoomIn);
    connect(addAction(view, kZoomOutAction, tr("Zoom &Out"), {QKeySequence::ZoomOut}), &QAction::triggered,
            playerView_, &PlayerView::zoomOut);
    connect(addAction(view, kFitToWindowAction, tr("&Fit to Window"), {QKeySequence(tr("Ctrl+9"))}),
            &QAction::triggered, playerView_, &PlayerView::fitToWindow);
    view->addSeparator();
    QAction* aspect = addAction(view, kCorrectPixelAspectAction, tr("Correct Pixel &Aspect"));
    aspect->setCheckable(true);
    connect(aspect, &QAction::triggered, this, [this](bool correct) {
        playerView_->setCorrectPixelAspect(correct);
        growToPicture();
        rememberView();
    });
    QAction* cycle = addAction(view, kCycleColoursAction, tr("C&ycle Colours"), {QKeySequence(Qt::Key_Tab)});
    cycle->setCheckable(true);
    connect(cycle, &QAction::toggled, this, &DocumentWindow::setColourCycling);
    view->addSeparator();
    QAction* fullScreen = addAction(view, kFullScreenAction, tr("&Full Screen"), {QKeySequence(Qt::Key_F11)});
    fullScreen->setCheckable(true);
    connect(fullScreen, &QAction::triggered, this, &DocumentWindow::toggleFullScreen);
    view->addSeparator();
    QAction* info = addAction(view, kShowInfoAction, tr("Show &Info"), {QKeySequence(tr("Ctrl+I"))});
    connect(info, &QAction::triggered, document_, &Document::toggleDocumentInfo);
    connect(document_, &Document::documentInfoShownChanged, info,
            [info](bool shown) { info->setText(shown ? tr("Hide &Info") : tr("Show &Info")); });

    QMenu* playback = menuBar()->addMenu(tr("&Playback"));
    connect(addAction(playback, kPlayPauseAction, tr("&Play/Pause"), {QKeySequence(Qt::Key_Space)}),
            &QAction::triggered, playerView_, &PlayerView::togglePlayPause);
    connect(addAction(playback, kStepBackwardAction, tr("Step &Backward"),
                      {QKeySequence(Qt::Key_Left), QKeySequence(Qt::Key_Comma)}),
            &QAction::triggered, this, [this] { playerView_->stepByCount(-1); });
    connect(addAction(playback, kStepForwardAction, tr("Step &Forward"),
                      {QKeySequence(Qt::Key_Right), QKeySequence(Qt::Key_Period)}),
            &QAction::triggered, this, [this] { playerView_->stepByCount(1); });
    connect(addAction(playback, kFirstFrameAction, tr("F&irst Frame"), {QKeySequence(Qt::Key_Home)}),
            &QAction::triggered, playerView_, &PlayerView::goToFirstFrame);
    connect(addAction(playback, kLastFrameAction, tr("&Last Frame"), {QKeySequence(Qt::Key_End)}),
            &QAction::triggered, playerView_, &PlayerView::goToLastFrame);
    connect(addAction(playback, kGoToFrameAction, tr("&Go to Frame…"), {QKeySequence(tr("Ctrl+G"))}),
            &QAction::triggered, this, &DocumentWindow::goToFrame);
    playback->addSeparator();
    QAction* loop = addAction(playback, kLoopAction, tr("L&oop"), {QKeySequence(tr("Ctrl+L"))});
    loop->setCheckable(true);
    loop->setChecked(QSettings().value(settings::kLoopPlayback, false).toBool());
    QAction* pingPong = addAction(playback, kPingPongAction, tr("Ping-&Pong"));
    pingPong->setCheckable(true);
    pingPong->setChecked(!loop->isChecked() && QSettings().value(settings::kPingPongPlayback, false).toBool());
    // Loop and Ping-Pong exclude each other; either may be off.
    connect(loop, &QAction::toggled, this, [this, pingPong](bool on) {
        QSettings().setValue(settings::kLoopPlayback, on);
        if (on) pingPong->setChecked(false);
        playerView_->setLooping(on);
    });
    connect(pingPong, &QAction::toggled, this, [this, loop](bool on) {
        QSettings().setValue(settings::kPingPongPlayback, on);
        if (on) loop->setChecked(false);
        playerView_->setPingPong(on);
    });
    QMenu* speed = playback->addMenu(tr("&Speed"));
    auto* speeds = new QActionGroup(this);
    const std::pair<const char*, float> rates[] = {{kSpeedHalfAction, 0.5f}, {kSpeedNormalAction, 1.0f},
                                                   {kSpeedDoubleAction, 2.0f}};
    const QString names[] = {tr("½×"), tr("1×"), tr("2×")};
    for (std::size_t i = 0; i < std::size(rates); ++i) {
        QAction* item = addAction(speed, rates[i].first, names[i]);
        item->setCheckable(true);
        item->setChecked(rates[i].second == 1.0f);
        speeds->addAction(item);
        connect(item, &QAction::triggered, this, [this, rate = rates[i].second] { playerView_->setRate(rate); });
    }
    speed->addSeparator();
    // [ and ] step through the speeds above, as media players do.
    for (const auto& [name, text, key, step] : {std::tuple{kSpeedDownAction, tr("&Slower"), Qt::Key_BracketLeft, -1},
                                                {kSpeedUpAction, tr("&Faster"), Qt::Key_BracketRight, 1}})
        connect(addAction(speed, name, text, {QKeySequence(key)}), &QAction::triggered, this, [speeds, step] {
            const QList<QAction*> items = speeds->actions();
            const qsizetype at = items.indexOf(speeds->checkedAction());
            items[std::clamp<qsizetype>(at + step, 0, items.size() - 1)]->trigger();
        });

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* updates = addAction(help, kCheckForUpdatesAction, tr("Check for Updates…"));
    updates->setProperty(kTagProperty, kCheckForUpdatesTag);
    connect(updates, &QAction::triggered, this, [updates] {
        if (AppDelegate* delegate = AppDelegate::shared()) delegate->doWebUpdate(updates);
    });
    QAction* tip = addAction(help, kMediaExtensionTipAction, tr("ANIM Support for Other Apps…"));
    tip->setProperty(kTagProperty, kMediaExtensionTipTag);
    connect(tip, &QAction::triggered, this, [tip] {
        if (AppDelegate* delegate = AppDelegate::shared()) delegate->showMediaExtensionTip(tip);
    });
    help->addSeparator();
    connect(addAction(help, kKeyboardShortcutsAction, tr("&Keyboard Shortcuts"), {QKeySequence(Qt::Key_F1)}),
            &QAction::triggered, this, [this] { ShortcutsDialog(this).exec(); });
    help->addSeparator();
    QAction* about = addAction(help, kAboutAction, tr("&About Velarium"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] {
        if (AppDelegate* delegate = AppDelegate::shared()) delegate->showAbout(this);
    });
    QAction* aboutQt = addAction(help, kAboutQtAction, tr("About &Qt"));
    aboutQt->setMenuRole(QAction::AboutQtRole);
    connect(aboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);

    // The window holds the menus' items too, so that their keys work while
    // full screen hides the menu bar.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) QWidget::addActions(menu->actions());
    // Open Recent enables its own items when it is rebuilt.
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) {
        if (menu == recentMenu_) continue;
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { validateMenu(menu); });
        validateMenu(menu);
    }
}

void DocumentWindow::validateMenu(QMenu* menu) {
    const QAction* next = action(kNextAnimationAction);
    const QAction* previous = action(kPreviousAnimationAction);
    if (menu->actions().contains(next)) refreshNeighbours();
    for (QAction* item : menu->actions()) {
        if (item->menu() || item->isSeparator() || item == next || item == previous) continue;
        if (item->property(kTagProperty).isValid()) {
            AppDelegate* delegate = AppDelegate::shared();
            item->setEnabled(delegate && delegate->validateUserInterfaceItem(item));
            item->setVisible(delegate && delegate->showsUserInterfaceItem(item));
        } else {
            item->setEnabled(document_->validateUserInterfaceItem(item));
        }
    }
}

void DocumentWindow::rebuildRecentMenu() {
    recentMenu_->clear();
    const QList<QUrl> recent = controller()->recentDocumentURLs();
    for (const QUrl& url : recent) {
        QAction* item = recentMenu_->addAction(url.fileName());
        item->setToolTip(url.toLocalFile());
        connect(item, &QAction::triggered, this, [this, url] { controller()->openURL(url, this); });
    }
    recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(tr("Clear Menu"));
    clear->setObjectName(QString::fromLatin1(kClearRecentDocumentsAction));
    clear->setEnabled(!recent.isEmpty());
    connect(clear, &QAction::triggered, controller(), &BW_DocumentController::clearRecentDocuments);
}

void DocumentWindow::copyFrame() {
    const QImage image = playerView_->currentImage();
    if (!image.isNull()) QGuiApplication::clipboard()->setImage(image.copy());
}

QString DocumentWindow::frameFileName() const {
    // Named by the frame's number as the counter shows it, from 1.
    return QStringLiteral("%1-frame-%2.png")
        .arg(QFileInfo(document_->fileURL().toLocalFile()).completeBaseName())
        .arg(playerView_->currentFrameIndex().value_or(0) + 1, 4, 10, QLatin1Char('0'));
}

void DocumentWindow::dragFrameOut() {
    const QImage image = playerView_->currentImage().copy();
    if (image.isNull()) return;
    // A file manager copies the file after the drop, maybe after the drag
    // is over: the files stay until the application quits.
    static QTemporaryDir dragFolder(QDir::tempPath() + QStringLiteral("/velarium-drag-XXXXXX"));
    auto* data = new QMimeData;
    data->setImageData(image);
    const QString path = dragFolder.filePath(frameFileName());
    if (dragFolder.isValid() && QImageWriter(path, "png").write(image)) data->setUrls({QUrl::fromLocalFile(path)});
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    constexpr int kDragImageSize = 128;
    drag->setPixmap(QPixmap::fromImage(image.width() > kDragImageSize || image.height() > kDragImageSize
                                           ? image.scaled(kDragImageSize, kDragImageSize, Qt::KeepAspectRatio)
                                           : image));
    drag->exec(Qt::CopyAction);
}

void DocumentWindow::exportFrame() {
    const QImage image = playerView_->currentImage().copy();
    if (image.isNull()) return;
    const QFileInfo source(document_->fileURL().toLocalFile());
    const QString name = frameFileName();
    QFileDialog dialog(this, tr("Export Frame"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(tr("PNG images (*.png)"));
    dialog.setDefaultSuffix(QStringLiteral("png"));
    dialog.setDirectory(source.absolutePath());
    dialog.selectFile(name);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = dialog.selectedFiles().first();
    QImageWriter writer(path, "png");
    if (!writer.write(image))
        presentError(Error(kCocoaErrorDomain, kFileWriteUnknownError,
                           tr("The frame couldn’t be exported to “%1”.").arg(shownFileName(path)).toStdString(),
                           writer.errorString().toStdString()),
                     this);
}

void DocumentWindow::goToFrame() {
    const std::uint64_t count = playerView_->frameCount();
    if (count == 0) return;
    GoToFrameDialog dialog(count, playerView_->currentFrameIndex().value_or(0), this);
    if (dialog.exec() == QDialog::Accepted && dialog.chosenIndex()) playerView_->seekToFrame(*dialog.chosenIndex());
}

void DocumentWindow::toggleFullScreen() {
    const bool entering = !isFullScreen();
    fullScreenChrome_->setActive(entering);
    playerView_->setFullScreen(entering);
    if (entering)
        showFullScreen();
    else
        showNormal();
    action(kFullScreenAction)->setChecked(entering);
}

void DocumentWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && isFullScreen()) {
        toggleFullScreen();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void DocumentWindow::closeEvent(QCloseEvent* event) {
    // A fitted window's size is the user's to choose.
    if (initialViewApplied_ && playerView_->viewOptions().fitToWindow) rememberView();
    if (!document_->isClosed()) document_->close();
    event->accept();
}

void DocumentWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source()) return;  // the picture dragged out, coming back
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) {
            event->acceptProposedAction();
            return;
        }
}

void DocumentWindow::dropEvent(QDropEvent* event) {
    QList<QUrl> files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) files.append(url);
    event->acceptProposedAction();
    // Opened once the drop is over: opening may show an alert.
    QTimer::singleShot(0, this, [this, files] {
        for (const QUrl& url : files) controller()->openURL(url, this);
    });
}

}  // namespace velarium::app
