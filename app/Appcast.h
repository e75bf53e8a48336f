#pragma once

// The update feed: an RSS 2.0 channel whose items describe released versions,
// with the version numbers and download in Sparkle's XML namespace. Reading
// it is kept apart from the updater so that it can be checked on its own.

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QUrl>
#include <QVersionNumber>

#include <optional>

class QByteArray;

namespace velarium::app {

// One released version as the feed describes it.
struct AppcastItem {
    QString title;
    QString version;             // sparkle:version, the build number
    QString shortVersionString;  // sparkle:shortVersionString, the version users see
    QUrl releaseNotesURL;        // sparkle:releaseNotesLink, else <link>
    QUrl downloadURL;            // the enclosure's url, else <link>

    // The number that orders releases: the short version string when it
    // parses as one, else the build number; null when neither does.
    QVersionNumber comparableVersion() const;
    // What users are shown as the version.
    QString displayVersion() const;
};

// Orders two version numbers so that "1.0" and "1.0.0" are the same release.
int compareVersions(const QVersionNumber& a, const QVersionNumber& b);

class Appcast {
    Q_DECLARE_TR_FUNCTIONS(Appcast)

public:
    // The items of `xml` in feed order, or nothing with a one-sentence reason
    // in `error` (when not null). Items whose every enclosure is meant for
    // another operating system are left out.
    static std::optional<Appcast> parse(const QByteArray& xml, QString* error = nullptr);

    const QList<AppcastItem>& items() const { return items_; }

    // The item with the highest comparable version (the first of equals);
    // null when no item carries a version.
    const AppcastItem* newestItem() const;

private:
    QList<AppcastItem> items_;
};

}  // namespace velarium::app
