#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

#include <functional>
#include <memory>
#include <thread>

#include "lha/ArchiveExtractor.h"
#include "platform/foundation/Error.h"

namespace velarium {

class BW_ProgressSheet;

// Extracts the LHA archives the user opens, one at a time, and offers the
// animations found in them.
//
// Archives wait in a first-in, first-out queue. For each one the extractor
// asks where to create a folder for its contents, extracts it there on a
// worker thread while a progress sheet shows progress and offers Cancel,
// lists the entries it did not extract, and offers the ANIM files it found
// in an Open dialog (the dialogs are in ExtractionDialogs). The next archive
// starts only after the last dialog of the one before has gone. Everything
// but the extraction itself runs on the main thread; the worker reaches it
// only by posted calls.
class BW_LHAExtractor : public QObject {
    Q_OBJECT
public:
    // True when the local file at `url` starts with "FORM", four bytes, "ANIM".
    static bool isANIMFileAtURL(const QUrl& url);

    // Queues an archive and returns at once; its workflow starts from the
    // event loop when no other archive is being worked on.
    static void extractArchiveAtURL(const QUrl& archiveURL);
    // The archive being worked on, if any.
    static BW_LHAExtractor* currentExtractor();
    // True while an archive waits or is being worked on. The application
    // keeps running as long as this holds.
    static bool isBusy();

    using URLHandler = std::function<void(const QUrl& url)>;
    // Opens one animation the user chose (the application's document
    // controller, which also presents its errors). Without one, nothing opens.
    static void setAnimationOpener(URLHandler opener);
    // Shows a folder in the file manager; revealInFileManager unless set.
    static void setRevealer(URLHandler revealer);
    // For tests: called on the main thread with each new extraction engine
    // before its run starts (to pace or hold it). Empty to remove.
    static void setEngineSetupForTesting(std::function<void(ArchiveExtractor& engine)> setup);

    // Where the Open dialog starts: the deepest folder holding every
    // animation, when it lies in the destination; else the destination.
    static QUrl folderContainingAnimations(const QList<QUrl>& animURLs, const QUrl& destinationURL);

    ~BW_LHAExtractor() override;

    QUrl archiveURL() const { return archiveURL_; }

private slots:
    // The progress sheet's Cancel: the worker stops before the next entry.
    void progressCancelled();

private:
    explicit BW_LHAExtractor(QUrl archiveURL);
    static void startNextArchive();

    // The steps of one archive's workflow, in order.
    // Asks for the destination, then prepares it and starts, or finishes.
    void begin();
    // Shows the progress sheet and starts the worker.
    void startExtraction();
    void runExtraction(BW_ProgressSheet* sheet, const QString& fileFormat);
    // Closes the sheet and tells the user how it went, then finishes.
    void extractionFinished(bool success, const Error& error);
    void chooseAnimations();
    // Lets go of this extractor and starts the next queued archive.
    void finish();

    QString archiveName() const;
    QString destinationPath() const { return destinationURL_.toLocalFile(); }

    QUrl archiveURL_;
    QUrl destinationURL_;
    bool cancelled_ = false;
    std::unique_ptr<BW_ProgressSheet> progressSheet_;
    std::unique_ptr<ArchiveExtractor> engine_;
    std::thread worker_;
};

}  // namespace velarium
