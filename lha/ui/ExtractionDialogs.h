#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QUrl>

#include "lha/ArchiveExtractor.h"
#include "platform/foundation/Error.h"

namespace velarium {

// The dialogs and alerts of archive import. Each runs application-modal and
// returns the user's answer. Every name they show is escaped (escapedText),
// so that a name holding a newline or another control character cannot fake
// lines of a message.
class ExtractionDialogs {
    Q_DECLARE_TR_FUNCTIONS(velarium::ExtractionDialogs)
public:
    // The save dialog for the folder that receives the contents of the
    // archive at `archivePath`: it starts beside the archive, with the
    // archive's name without its extension. A name that is an existing
    // folder chooses that folder, once the user has agreed to replacing
    // files in it when it is not empty. Empty when cancelled.
    static QString chooseDestination(const QString& archivePath);

    // The Open dialog offering the animations found in `archiveName`,
    // starting in `folder`; it shows every file but lets only folders and
    // ANIM files be chosen. The files chosen; none when cancelled.
    static QList<QUrl> chooseAnimations(const QString& archiveName, const QString& folder);

    // Where an error came from: the system's errors name the step.
    enum class Step { PreparingDestination, Extracting };
    // An error that ended the workflow: extraction errors in the user's
    // language, the system's errors in a sentence naming the folder.
    static void showError(const Error& error, Step step, const QString& archiveName, const QString& destination);
    // The entries not extracted: failed ones, links, a damaged end. Shows
    // nothing when there are none.
    static void showProblems(const QString& archiveName, const ExtractionReport& report);
    // No animations were found. True when the user asked to see the folder.
    static bool showNoAnimations(const QString& archiveName, const QString& destination);

    // What the Open dialog lets the user choose: folders and ANIM files.
    static bool canChoose(const QUrl& url);
    // A name as the dialogs show it.
    static QString shown(const QString& name);
};

}  // namespace velarium
