#pragma once

#include <QDialog>

class QMainWindow;

namespace velarium::app {

// Help ▸ Keyboard Shortcuts: every key of a window, read from the window's
// own actions, so that the list says what the keys really do. Actions in
// the menus are listed by menu, in menu order; actions with keys but no
// menu item come last.
class ShortcutsDialog : public QDialog {
    Q_OBJECT
public:
    explicit ShortcutsDialog(QMainWindow* window);
};

}  // namespace velarium::app
