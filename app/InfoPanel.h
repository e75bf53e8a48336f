#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

#include "app/ANIMInfo.h"

namespace velarium::app {

// A small floating window describing one document's animation: a column of
// dimmed labels right-aligned against their values. It is built once per
// document and kept; closing it, or Escape, only hides it. It never takes
// the keyboard from the document window by showing itself, and when the user
// does click into it, the window's menu shortcuts still work there.
class InfoPanel : public QWidget {
    Q_OBJECT

public:
    InfoPanel(const QString& displayName, const std::vector<InfoRow>& rows, QWidget* parent = nullptr);

    // Puts the panel beside the document window, top edges level: to its
    // right when there is room on the window's screen, else to its left,
    // else over the window's top-right corner; always wholly on that screen.
    // Centred on the screen when there is no window on screen. The panel's
    // frame is known only once it is shown, so it is placed again then.
    void placeBeside(QWidget* documentWindow);
    // Shows the panel above the application's other windows, leaving the
    // keyboard with the window that has it.
    void bringToFront();

signals:
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void place();
    // The panel's size with its window frame: its own once shown, before
    // that the content's with the document window's frame margins.
    QSize frameSize(const QWidget* documentWindow) const;

    QPointer<QWidget> documentWindow_;
    bool placed_ = false;      // placeBeside() was asked for
    bool framePlaced_ = false;  // placed with the panel's own frame
};

}  // namespace velarium::app
