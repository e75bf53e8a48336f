#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace velarium::testing {

// Takes what would be opened with the desktop's default handler while it exists.
class OpenedURLs : public QObject {
    Q_OBJECT
public:
    OpenedURLs() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedURLs() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

}  // namespace velarium::testing
