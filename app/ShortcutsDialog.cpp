#include "app/ShortcutsDialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace velarium::app {
namespace {

QString withoutMnemonic(QString text) {
    text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    return text.replace(QLatin1String("&&"), QLatin1String("&"));
}

QString keysOf(const QAction* action) {
    QStringList keys;
    for (const QKeySequence& shortcut : action->shortcuts())
        if (!shortcut.isEmpty()) keys << shortcut.toString(QKeySequence::NativeText);
    return keys.join(QLatin1String(", "));
}

// Adds the menu's actions that have keys under `group`, submenus included.
void addMenu(const QMenu* menu, QTreeWidgetItem* group, QSet<const QAction*>& listed) {
    for (QAction* action : menu->actions()) {
        if (action->menu()) {
            addMenu(action->menu(), group, listed);
        } else if (!keysOf(action).isEmpty() && action->isVisible()) {
            new QTreeWidgetItem(group, {withoutMnemonic(action->text()), keysOf(action)});
            listed.insert(action);
        }
    }
}

}  // namespace

ShortcutsDialog::ShortcutsDialog(QMainWindow* window) : QDialog(window) {
    setWindowTitle(tr("Keyboard Shortcuts"));
    auto* list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("shortcuts"));
    list->setHeaderLabels({tr("Command"), tr("Keys")});
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    QSet<const QAction*> listed;
    for (QAction* entry : window->menuBar()->actions()) {
        if (!entry->menu()) continue;
        auto* group = new QTreeWidgetItem(list, {withoutMnemonic(entry->text())});
        group->setFirstColumnSpanned(true);
        addMenu(entry->menu(), group, listed);
        if (group->childCount() == 0) delete group;
    }
    QTreeWidgetItem* others = nullptr;
    for (const QAction* action : window->findChildren<QAction*>()) {
        if (listed.contains(action) || keysOf(action).isEmpty() || action->text().isEmpty()) continue;
        if (!others) {
            others = new QTreeWidgetItem(list, {tr("Player")});
            others->setFirstColumnSpanned(true);
        }
        new QTreeWidgetItem(others, {withoutMnemonic(action->text()), keysOf(action)});
    }
    list->expandAll();
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(buttons);
    resize(420, 520);
}

}  // namespace velarium::app
