#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
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
// in an Open dialog. The next archive starts only after the last dialog of
// the one before has gone. Everything but the extraction itself runs on the
// main thread; the worker reaches it only by posted calls.
class BW_LHAExtractor : public QObject {
    Q_OBJECT
public:
    // True when the local file at `url` starts with "FORM", four bytes, "ANIM".
    static bool isANIMFileAtURL(const QUrl& url);

    // Queues an archive and returns at once; its workflow starts from the
    // event loop when no other archive is being worked on.
    static void extractArchiveAtURL(const QUrl& archiveURL);
    // Starts the first queued archive unless one is being worked on.
    static void startNextArchive();
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

    // The list of an alert: the first eight items, one a line, then how
    // many more there are.
    static QString listText(const QStringList& items);
    // Where the Open dialog starts: the deepest folder holding every
    // animation, when it lies in the destination; else the destination.
    static QUrl folderContainingAnimations(const QList<QUrl>& animURLs, const QUrl& destinationURL);
    // What the Open dialog lets the user choose: folders and ANIM files.
    static bool panelShouldEnableURL(const QUrl& url);

    explicit BW_LHAExtractor(QObject* parent = nullptr);
    ~BW_LHAExtractor() override;

    QUrl archiveURL() const { return archiveURL_; }
    void setArchiveURL(const QUrl& url) { archiveURL_ = url; }
    QUrl destinationURL() const { return destinationURL_; }
    void setDestinationURL(const QUrl& url) { destinationURL_ = url; }
    bool isCancelled() const { return cancelled_; }
    // The sheet while the extraction runs; null before and after.
    BW_ProgressSheet* progressSheet() const { return progressSheet_.get(); }
    // What the extraction did, in archive order; filled when it has ended.
    const QStringList& failedPaths() const { return failedPaths_; }
    const QStringList& skippedLinks() const { return skippedLinks_; }
    const QList<QUrl>& animURLs() const { return animURLs_; }
    bool stoppedEarly() const { return stoppedEarly_; }

    // The steps of one archive's workflow, in order.
    // Asks for the destination, then prepares it and starts, or finishes.
    void begin();
    // Makes sure the destination folder exists (an existing folder is used).
    bool prepareDestination(Error* error);
    // Shows the progress sheet and starts the worker.
    void startExtraction();
    // Closes the sheet and tells the user how it went, then finishes.
    void extractionFinished(bool success, const Error& error);
    void presentError(const Error& error);
    void presentProblems();
    void presentNoAnimations();
    void chooseAnimations();
    QUrl folderContainingAnimations() const;
    // Lets go of this extractor and starts the next queued archive.
    void finish();

public slots:
    // The progress sheet's Cancel: the worker stops before the next entry.
    void progressCancelled();

private:
    void runExtraction(BW_ProgressSheet* sheet, const QString& fileFormat);
    Error translatedError(const Error& error) const;
    QString archiveName() const;

    QUrl archiveURL_;
    QUrl destinationURL_;
    bool cancelled_ = false;
    std::unique_ptr<BW_ProgressSheet> progressSheet_;
    std::unique_ptr<ArchiveExtractor> engine_;
    std::thread worker_;

    QStringList failedPaths_;
    QStringList skippedLinks_;
    QList<QUrl> animURLs_;
    bool stoppedEarly_ = false;
    QString lastEntryPath_;  // the last entry read, where a damaged archive stops
};

}  // namespace velarium
