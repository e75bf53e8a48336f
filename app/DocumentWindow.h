#pragma once

#include <QElapsedTimer>
#include <QMainWindow>

#include "app/FolderAnimations.h"
#include "app/ViewOptions.h"

class QAction;
class QActionGroup;
class QMenu;
class QTimer;

namespace velarium::app {

class Document;
class ExportWorkflow;
class FullScreenChrome;
class PlayerView;

// The one window of a document: the player view with its controls, and the
// application's menus. Files dropped on it open like any other.
class DocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    DocumentWindow(Document* document, const ViewOptions& options);
    ~DocumentWindow() override;

    Document* document() const { return document_; }
    PlayerView* playerView() const { return playerView_; }
    // The menu action with the given object name (see MenuActions.h).
    QAction* action(const char* name) const;

    // Called by the document when it closes: the window lets go of playback.
    void documentClosing();

    void exportFrame();
    void copyFrame();
    // Drags the shown frame out: a PNG file for file managers, an image for
    // applications that take one.
    void dragFrameOut();
    void toggleFullScreen();
    // Asks for a frame number and shows that frame.
    void goToFrame();
    // File ▸ Next Animation (+1) and Previous Animation (-1): the neighbour
    // in the document's folder, played in this window.
    void openNeighbourAnimation(int direction);

    // A new window's zoom: the largest step that keeps the window within two
    // thirds of the screen's height; else 1 when the window fits the screen
    // at all; 0 when even that does not fit.
    int firstZoom() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenus();
    QAction* addAction(QMenu* menu, const char* name, const QString& text, const QList<QKeySequence>& shortcuts = {});
    void rebuildRecentMenu();
    void validateMenu(QMenu* menu);
    void attachPlayer();
    void playerItemReady();
    void applyInitialView();
    void sizeToPicture();
    void growToPicture();
    QSize windowSizeAround(QSize view) const;
    // Whether the window fits within `heightShare` of the screen's height
    // (and most of its width) with the picture at `zoom`.
    bool fitsScreen(int zoom, double heightShare) const;
    // Keeps this window's view for the next window.
    void rememberView();
    void readPixelAspect();
    // The shown frame's file name, numbered as the counter numbers it.
    QString frameFileName() const;
    void fileURLChanged();
    // Looks at the folder again and enables Next and Previous Animation.
    void refreshNeighbours();
    // Enables Cycle Colours when the file's colours cycle.
    void refreshColourCycling();
    // View ▸ Cycle Colours: the shown picture is the cycled one while on.
    void setColourCycling(bool on);
    // Starts the timer for the next step of any cycling range.
    void scheduleCycleStep();

    Document* document_;
    PlayerView* playerView_;
    ExportWorkflow* export_;
    FullScreenChrome* fullScreenChrome_;
    QMenu* recentMenu_ = nullptr;
    QTimer* cycleTimer_;
    // Time since colour cycling was turned on.
    QElapsedTimer cyclingClock_;
    // When the frame after the one shown is due, on the cycling clock.
    qint64 nextFrameDueNs_ = 0;
    FolderNeighbours neighbours_;
    ViewOptions initialOptions_;
    bool initialViewApplied_ = false;
    // Another file was opened in this window: it is sized to the new
    // picture at the zoom in use once the picture is known.
    bool sizeWhenReady_ = false;
};

}  // namespace velarium::app
