#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <optional>

#include "app/ViewOptions.h"
#include "platform/foundation/Error.h"

namespace velarium::app {

class Document;

// Decides what an opened file is and routes it: ANIM animations become
// documents with a window each. Keeps the open documents and the recent
// documents list. Every way of opening a file (Open dialog, command line,
// another launch, a drop, Open Recent) comes through here.
class BW_DocumentController : public QObject {
    Q_OBJECT
public:
    // The first controller created becomes the shared one.
    explicit BW_DocumentController(QObject* parent = nullptr);
    ~BW_DocumentController() override;
    static BW_DocumentController* sharedDocumentController();

    // True when the file's type, by name, conforms to the LHA archive type.
    bool isLHAArchiveURL(const QUrl& url) const;
    // The file's document type: a type with a document class by name, else
    // "com.amiga.anim" for any file with the ANIM signature, else the type
    // by name (which may have no document class), or empty with an error
    // (also when the file cannot be read to look for the signature).
    QString typeForContentsOfURL(const QUrl& url, Error* error) const;
    bool hasDocumentClassForType(const QString& type) const;

    using CompletionHandler = std::function<void(Document* document, bool documentWasAlreadyOpen, const Error* error)>;
    void openDocumentWithContentsOfURL(const QUrl& url, bool display, const CompletionHandler& completionHandler);
    // Opens and shows the file, presenting any failure but a cancellation:
    // window-modal on `parent`'s window when there is one.
    void openURL(const QUrl& url, QWidget* parent = nullptr);
    // The Open dialog; the chosen files are opened. False when cancelled.
    bool openDocument(QWidget* parent = nullptr);

    const QList<Document*>& documents() const { return documents_; }
    Document* documentForURL(const QUrl& url) const;
    // Called by a document when it has closed.
    void removeDocument(Document* document);

    // Recent documents, newest first, kept in the settings.
    static constexpr int kMaximumRecentDocumentCount = 10;
    QList<QUrl> recentDocumentURLs() const;
    void noteNewRecentDocumentURL(const QUrl& url);
    void clearRecentDocuments();

    // The view of the next window that opens (command line); used once.
    void setViewOptionsForNextWindow(const ViewOptions& options) { nextViewOptions_ = options; }

signals:
    void recentDocumentsChanged();
    void documentOpened(velarium::app::Document* document);
    void documentClosed(velarium::app::Document* document);

private:
    QList<Document*> documents_;
    std::optional<ViewOptions> nextViewOptions_;
};

}  // namespace velarium::app
