#include "app/Appcast.h"

#include <QByteArray>
#include <QXmlStreamReader>

namespace velarium::app {
namespace {

const QString kSparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");
// The value of sparkle:os that names this platform; an enclosure without the
// attribute serves every platform.
constexpr QStringView kThisOperatingSystem = u"linux";

// What one <enclosure> contributes to its item.
struct Enclosure {
    QUrl url;
    QString version;
    QString shortVersionString;
};

bool isSparkle(const QXmlStreamReader& reader, QStringView name) {
    return reader.namespaceUri() == kSparkleNamespace && reader.name() == name;
}

bool isPlain(const QXmlStreamReader& reader, QStringView name) {
    return reader.namespaceUri().isEmpty() && reader.name() == name;
}

QUrl linkFrom(const QString& text) { return QUrl(text.trimmed(), QUrl::TolerantMode); }

Enclosure readEnclosure(QXmlStreamReader& reader) {
    const QXmlStreamAttributes attributes = reader.attributes();
    Enclosure enclosure;
    enclosure.url = linkFrom(attributes.value(QLatin1String("url")).toString());
    enclosure.version = attributes.value(kSparkleNamespace, QLatin1String("version")).trimmed().toString();
    enclosure.shortVersionString = attributes.value(kSparkleNamespace, QLatin1String("shortVersionString")).trimmed().toString();
    reader.skipCurrentElement();
    return enclosure;
}

bool servesThisSystem(const QXmlStreamReader& reader) {
    const QXmlStreamAttributes attributes = reader.attributes();
    const QStringView os = attributes.value(kSparkleNamespace, QLatin1String("os")).trimmed();
    return os.isEmpty() || os.compare(kThisOperatingSystem, Qt::CaseInsensitive) == 0;
}

// Reads one <item>; nothing when it offers only downloads for other systems.
std::optional<AppcastItem> readItem(QXmlStreamReader& reader) {
    AppcastItem item;
    QUrl link;
    std::optional<Enclosure> enclosure;
    bool sawEnclosure = false;
    while (reader.readNextStartElement()) {
        if (isPlain(reader, u"title")) {
            item.title = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isPlain(reader, u"link")) {
            link = linkFrom(reader.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (isSparkle(reader, u"version")) {
            item.version = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isSparkle(reader, u"shortVersionString")) {
            item.shortVersionString = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (isSparkle(reader, u"releaseNotesLink")) {
            item.releaseNotesURL = linkFrom(reader.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (isPlain(reader, u"enclosure")) {
            sawEnclosure = true;
            if (!enclosure && servesThisSystem(reader)) enclosure = readEnclosure(reader);
            else reader.skipCurrentElement();
        } else {
            reader.skipCurrentElement();
        }
    }
    if (sawEnclosure && !enclosure) return std::nullopt;

    // Versions given as elements of the item win over those on the enclosure.
    if (enclosure) {
        if (item.version.isEmpty()) item.version = enclosure->version;
        if (item.shortVersionString.isEmpty()) item.shortVersionString = enclosure->shortVersionString;
    }
    item.downloadURL = enclosure && enclosure->url.isValid() && !enclosure->url.isEmpty() ? enclosure->url : link;
    if (item.releaseNotesURL.isEmpty()) item.releaseNotesURL = link;
    return item;
}

void readChannel(QXmlStreamReader& reader, QList<AppcastItem>& items) {
    while (reader.readNextStartElement()) {
        if (!isPlain(reader, u"item")) {
            reader.skipCurrentElement();
        } else if (std::optional<AppcastItem> item = readItem(reader)) {
            items.append(std::move(*item));
        }
    }
}

}  // namespace

QVersionNumber AppcastItem::comparableVersion() const {
    const QVersionNumber shown = QVersionNumber::fromString(shortVersionString);
    return shown.isNull() ? QVersionNumber::fromString(version) : shown;
}

QString AppcastItem::displayVersion() const { return shortVersionString.isEmpty() ? version : shortVersionString; }

int compareVersions(const QVersionNumber& a, const QVersionNumber& b) {
    return QVersionNumber::compare(a.normalized(), b.normalized());
}

std::optional<Appcast> Appcast::parse(const QByteArray& xml, QString* error) {
    QXmlStreamReader reader(xml);
    Appcast appcast;
    if (reader.readNextStartElement()) {
        if (!isPlain(reader, u"rss")) {
            if (error) *error = tr("The update feed is not an RSS feed.");
            return std::nullopt;
        }
        while (reader.readNextStartElement()) {
            if (isPlain(reader, u"channel")) readChannel(reader, appcast.items_);
            else reader.skipCurrentElement();
        }
    }
    if (reader.hasError()) {
        if (error)
            *error = tr("The update feed is not well-formed XML (line %1, column %2): %3")
                         .arg(reader.lineNumber())
                         .arg(reader.columnNumber())
                         .arg(reader.errorString());
        return std::nullopt;
    }
    return appcast;
}

const AppcastItem* Appcast::newestItem() const {
    const AppcastItem* newest = nullptr;
    QVersionNumber newestVersion;
    for (const AppcastItem& item : items_) {
        const QVersionNumber version = item.comparableVersion();
        if (version.isNull()) continue;
        if (!newest || compareVersions(version, newestVersion) > 0) {
            newest = &item;
            newestVersion = version;
        }
    }
    return newest;
}

}  // namespace velarium::app
