#pragma once

#include <QString>
#include <QStringList>

namespace velarium::app {

// The animations of a folder, as File ▸ Next Animation and Previous
// Animation walk them: every regular file with the ANIM signature, whatever
// its name, in the file manager's natural order (numbers by value, so
// "file2.anim" before "file10.anim").
QStringList animationsInFolder(const QString& folder);

// The neighbours of `file` among `animations` (absolute paths in natural
// order); empty at either end. `file` need not be in the list: a file that
// vanished, or one without the signature, still has a place in the order.
struct FolderNeighbours {
    QString previous;
    QString next;
};
FolderNeighbours neighboursOf(const QString& file, const QStringList& animations);

}  // namespace velarium::app
