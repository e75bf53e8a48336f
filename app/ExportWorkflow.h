#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "export/Exporter.h"
#include "platform/foundation/Error.h"

class QWidget;

namespace velarium {
class BW_ProgressSheet;
}

namespace velarium::app {

class Document;

// File ▸ Export Animation… and File ▸ Export Frames… of one window: asks
// what and where, runs the export on a thread of its own under the progress
// sheet (Cancel and Escape stop it), then tells how it went. The export reads
// the file anew by its path, so the document's playback goes on undisturbed.
class ExportWorkflow : public QObject {
    Q_OBJECT
public:
    ExportWorkflow(Document* document, QWidget* window);
    // Cancels a running export and waits for its thread.
    ~ExportWorkflow() override;

    void exportAnimation();
    void exportFrames();
    bool isBusy() const { return worker_.joinable(); }

    // The progress sheet's delegate.
    Q_INVOKABLE void progressCancelled();

private:
    // What runs on the worker: the export itself, filling in a line that
    // sums up the result for the success alert.
    using Job = std::function<bool(const exporter::ExportObserver&, QString* summary, Error*)>;
    struct Outcome {
        QString text;       // the success alert's text
        QString revealed;   // what "Show in File Manager" shows
        QString name;       // what a failure alert names
    };

    void start(const QString& title, Job job, Outcome outcome);
    void finished(bool success, const Error& error, const QString& summary);
    std::uint64_t frameCount() const;
    QString baseName() const;
    QString sourceFolder() const;
    std::string sourcePath() const;

    Document* document_;
    QPointer<QWidget> window_;
    std::unique_ptr<BW_ProgressSheet> sheet_;
    std::thread worker_;
    std::atomic<bool> cancelled_{false};
    Outcome outcome_;
};

}  // namespace velarium::app
