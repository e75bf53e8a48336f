#pragma once

#include <QDBusConnection>
#include <QUrl>

namespace velarium {

// Shows a local file or folder in the user's file manager, selected in its
// folder, through the freedesktop FileManager1 service on `bus`. When that
// service is not there (or there is no bus, or the call fails), opens the
// folder itself (or, for a file, the folder that holds it) with the desktop's
// default handler instead; when nothing can open it either, an alert says
// so and names the folder. Returns at once unless that alert shows.
void revealInFileManager(const QUrl& url, const QDBusConnection& bus = QDBusConnection::sessionBus());

}  // namespace velarium
