#include "app/DocumentTypes.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <array>
#include <utility>

namespace velarium::app {
namespace {

constexpr std::array<std::pair<const char*, const char*>, 2> kDeclaredTypes{{
    {kANIMTypeIdentifier, kANIMMimeType},
    {kLHAArchiveTypeIdentifier, kLHAArchiveMimeType},
}};

}  // namespace

QMimeType mimeTypeForIdentifier(const QString& identifier) {
    for (const auto& [declared, mimeName] : kDeclaredTypes)
        if (identifier == QLatin1String(declared)) return QMimeDatabase().mimeTypeForName(QString::fromLatin1(mimeName));
    return {};
}

QMimeType mimeTypeForFileName(const QString& fileName) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QMimeType() : type;
}

QMimeType contentTypeOfFile(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return QMimeDatabase().mimeTypeForName(QStringLiteral("inode/directory"));
    return mimeTypeForFileName(info.fileName());
}

bool conformsToIdentifier(const QMimeType& type, const QString& identifier) {
    const QMimeType declared = mimeTypeForIdentifier(identifier);
    return type.isValid() && declared.isValid() && (type == declared || type.inherits(declared.name()));
}

QString typeNameForMimeType(const QMimeType& type) {
    if (!type.isValid()) return {};
    for (const auto& entry : kDeclaredTypes)
        if (conformsToIdentifier(type, QString::fromLatin1(entry.first))) return QString::fromLatin1(entry.first);
    return type.name();
}

}  // namespace velarium::app
