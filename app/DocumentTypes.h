#pragma once

#include <QMimeType>
#include <QString>

namespace velarium::app {

// The type identifiers the application declares, and the MIME types that
// stand for them in the system's shared MIME database (our MIME package
// gives video/x-anim its *.anim glob and FORM…ANIM magic).
inline constexpr const char* kANIMTypeIdentifier = "com.amiga.anim";
inline constexpr const char* kLHAArchiveTypeIdentifier = "com.brackwater.lha-archive";
inline constexpr const char* kANIMMimeType = "video/x-anim";
inline constexpr const char* kLHAArchiveMimeType = "application/x-lha";

// The MIME type declared for a type identifier; invalid when the identifier
// is not in the table or the MIME database does not know its type.
QMimeType mimeTypeForIdentifier(const QString& identifier);

// The MIME type a file name's extension maps to (by name only: the file is
// never read); invalid when the name maps to nothing.
QMimeType mimeTypeForFileName(const QString& fileName);

// The type of a local file as the file system sees it, by name: a folder is
// inode/directory; invalid when nothing matches. Never reads the file.
QMimeType contentTypeOfFile(const QString& path);

// True when `type` is the identifier's MIME type or inherits from it.
bool conformsToIdentifier(const QMimeType& type, const QString& identifier);

// The declared identifier that `type` conforms to, else the MIME type's own
// name (a type with no document class); empty for an invalid type.
QString typeNameForMimeType(const QMimeType& type);

}  // namespace velarium::app
