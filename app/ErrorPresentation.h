#pragma once

#include <QString>

#include <functional>

#include "platform/foundation/Error.h"

class QWidget;

namespace velarium::app {

// Errors of the document framework itself, in the domain and with the codes
// that callers of a document controller know.
inline constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";
enum CocoaErrorCode : long {
    kFileReadUnknownError = 256,
    kFileReadNoPermissionError = 257,
    kFileReadNoSuchFileError = 260,
    kFileWriteUnknownError = 512,
    kUserCancelledError = 3072,
};

// The file name in `path` as alerts show it: control characters escaped
// (escapedText), so that a name cannot fake lines of the alert.
QString shownFileName(const QString& path);

Error noSuchFileError(const QString& path);
Error noPermissionError(const QString& path);
// A file that is no animation: a folder, or any other file the system does
// not take for an ANIM.
Error cannotOpenTypeError(const QString& path);
// The animation in `path` opened, but its file ends before its last frame:
// `frameCount` frames are there, counted from 1 as the window counts them.
Error endsEarlyError(const QString& path, quint64 frameCount);
Error userCancelledError();
bool isUserCancelled(const Error& error);

// The error as the user is told it. The format reader's and the parser's
// failures are put in plain words (`path`, the file concerned, tells an empty
// file from one too large); failures meant for developers, of the extensions
// and the playback machinery, become "The animation could not be decoded."
// Errors of our own, of the file system and of the exporter stay as they are.
Error errorForUser(const Error& error, const QString& path);

// Shows an error the standard way: a modal alert with the description as its
// text and the recovery suggestion, when there is one, below it. With a
// `context` ("“walk.anim” could not be played."), that sentence leads and the
// error's own text follows. The alert is window-modal on `parent`'s window,
// or application-modal without one. Runs on the main thread and returns when
// the user has dismissed it.
void presentError(const Error& error, QWidget* parent, const QString& context = {});

// The alert's texts on one line, as standard error shows them.
QString oneLineMessage(const Error& error, const QString& context = {});

// Replaces the alert, for a run without a user (screenshots): every error
// goes to `presenter` instead. An empty function restores the alert.
void setErrorPresenter(std::function<void(const Error&)> presenter);

}  // namespace velarium::app
