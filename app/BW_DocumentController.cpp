#include "app/BW_DocumentController.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>

#include "app/Document.h"
#include "app/DocumentTypes.h"
#include "app/ErrorPresentation.h"
#include "app/SettingsKeys.h"
#include "lha/ui/BW_LHAExtractor.h"

namespace velarium::app {
namespace {

BW_DocumentController* sharedController = nullptr;

QString localPath(const QUrl& url) { return url.toLocalFile(); }

// The type as the system sees the file, before our own signature test:
// missing files fail, anything else gets the type its name maps to.
QString systemTypeForContentsOfURL(const QUrl& url, Error* error) {
    const QString path = localPath(url);
    if (!url.isLocalFile() || !QFileInfo::exists(path)) {
        fail(error, noSuchFileError(path));
        return {};
    }
    const QMimeType type = contentTypeOfFile(path);
    if (!type.isValid()) {
        fail(error, cannotOpenTypeError(path));
        return {};
    }
    return typeNameForMimeType(type);
}

// The path that tells whether two URLs name the same file: the canonical
// one, or for a file deleted since it was opened (whose document still
// plays), the absolute one.
QString identityPath(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    const QFileInfo info(localPath(url));
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

}  // namespace

BW_DocumentController::BW_DocumentController(QObject* parent) : QObject(parent) {
    if (!sharedController) sharedController = this;
}

BW_DocumentController::~BW_DocumentController() {
    for (Document* document : QList<Document*>(documents_)) document->close();
    if (sharedController == this) sharedController = nullptr;
}

BW_DocumentController* BW_DocumentController::sharedDocumentController() {
    if (!sharedController) new BW_DocumentController(QCoreApplication::instance());
    return sharedController;
}

// By name only. The archive type and its alias are what the system's type
// database gives .lha and .lzh files; the two extensions also count where
// the database does not know the type. A folder is never an archive.
bool BW_DocumentController::isLHAArchiveURL(const QUrl& url) const {
    static const QStringList archiveExtensions{QStringLiteral("lha"), QStringLiteral("lzh")};
    static const QStringList archiveMimeTypes{QStringLiteral("application/x-lha"),
                                              QStringLiteral("application/x-lzh-compressed")};
    if (QFileInfo(localPath(url)).isDir()) return false;
    if (archiveExtensions.contains(QFileInfo(url.path()).suffix(), Qt::CaseInsensitive)) return true;
    QMimeType type = contentTypeOfFile(localPath(url));
    if (!type.isValid() && !QFileInfo(url.path()).suffix().isEmpty()) type = mimeTypeForFileName(url.fileName());
    if (!type.isValid()) return false;
    for (const QString& archiveType : archiveMimeTypes)
        if (type.name() == archiveType || type.inherits(archiveType)) return true;
    return conformsToIdentifier(type, kLHAArchiveTypeIdentifier);
}

bool BW_DocumentController::hasDocumentClassForType(const QString& type) const {
    return type == QLatin1String(kANIMTypeIdentifier);
}

QString BW_DocumentController::typeForContentsOfURL(const QUrl& url, Error* error) const {
    Error systemError;
    const QString type = systemTypeForContentsOfURL(url, &systemError);
    if (!type.isEmpty() && hasDocumentClassForType(type)) return type;
    if (BW_LHAExtractor::isANIMFileAtURL(url)) return QString::fromLatin1(kANIMTypeIdentifier);
    // A file whose signature cannot be read may be an animation all the
    // same: the user is told it cannot be read, not that its type is wrong.
    const QFileInfo info(localPath(url));
    if (info.isFile() && !info.isReadable()) {
        fail(error, noPermissionError(localPath(url)));
        return {};
    }
    if (type.isEmpty()) fail(error, systemError);
    return type;
}

Document* BW_DocumentController::documentForURL(const QUrl& url) const {
    const QString wanted = identityPath(url);
    for (Document* document : documents_)
        if (!wanted.isEmpty() && identityPath(document->fileURL()) == wanted) return document;
    return nullptr;
}

void BW_DocumentController::openDocumentWithContentsOfURL(const QUrl& url, bool display,
                                                           const CompletionHandler& completionHandler) {
    // LHA archives are told by their name, before their contents are looked
    // at, and never become documents: they join the extraction queue, whose
    // workflow reports its own outcome. The caller is told the user
    // cancelled, so that it shows no window and no alert.
    if (isLHAArchiveURL(url)) {
        noteNewRecentDocumentURL(url);
        BW_LHAExtractor::setAnimationOpener([](const QUrl& animation) { sharedDocumentController()->openURL(animation); });
        BW_LHAExtractor::extractArchiveAtURL(url);
        const Error cancelled = userCancelledError();
        completionHandler(nullptr, false, &cancelled);
        return;
    }
    if (Document* open = documentForURL(url)) {
        if (display) open->showWindows();
        completionHandler(open, true, nullptr);
        return;
    }
    Error error;
    const QString type = typeForContentsOfURL(url, &error);
    if (type.isEmpty()) {
        completionHandler(nullptr, false, &error);
        return;
    }
    if (!hasDocumentClassForType(type)) {
        error = cannotOpenTypeError(localPath(url));
        completionHandler(nullptr, false, &error);
        return;
    }
    auto* document = new Document(this);
    if (!document->readFromURL(url, type, &error)) {
        delete document;
        completionHandler(nullptr, false, &error);
        return;
    }
    documents_.append(document);
    noteNewRecentDocumentURL(url);
    if (display) {
        document->makeWindowControllers(nextViewOptions_.value_or(rememberedViewOptions()));
        nextViewOptions_.reset();
        document->showWindows();
    }
    emit documentOpened(document);
    completionHandler(document, false, nullptr);
}

void BW_DocumentController::openURL(const QUrl& url, QWidget* parent) {
    const QPointer<QWidget> window = parent;
    openDocumentWithContentsOfURL(url, true, [window](Document*, bool, const Error* error) {
        if (error && !isUserCancelled(*error)) presentError(*error, window);
    });
}

bool BW_DocumentController::openDocument(QWidget* parent) {
    QFileDialog dialog(parent, tr("Open"));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters({tr("Amiga animations and archives (*.anim *.anim? *.iff *.lha *.lzh)"), tr("All files (*)")});
    if (!recentDocumentURLs().isEmpty())
        dialog.setDirectory(QFileInfo(recentDocumentURLs().first().toLocalFile()).absolutePath());
    if (dialog.exec() != QDialog::Accepted) return false;
    for (const QUrl& url : dialog.selectedUrls()) openURL(url, parent);
    return true;
}

void BW_DocumentController::removeDocument(Document* document) {
    if (documents_.removeOne(document)) emit documentClosed(document);
}

QList<QUrl> BW_DocumentController::recentDocumentURLs() const {
    QList<QUrl> urls;
    for (const QString& path : QSettings().value(settings::kRecentDocuments).toStringList())
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}

void BW_DocumentController::noteNewRecentDocumentURL(const QUrl& url) {
    const QString path = QFileInfo(localPath(url)).absoluteFilePath();
    QStringList paths = QSettings().value(settings::kRecentDocuments).toStringList();
    paths.removeAll(path);
    paths.prepend(path);
    while (paths.size() > kMaximumRecentDocumentCount) paths.removeLast();
    QSettings settings;
    settings.setValue(settings::kRecentDocuments, paths);
    settings.sync();  // another instance may read it next
    emit recentDocumentsChanged();
}

void BW_DocumentController::clearRecentDocuments() {
    QSettings settings;
    settings.remove(settings::kRecentDocuments);
    settings.sync();
    emit recentDocumentsChanged();
}

}  // namespace velarium::app
