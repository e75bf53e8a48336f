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
Error cannotOpenTypeError(const QString& path);
Error userCancelledError();
bool isUserCancelled(const Error& error);

// Shows an error the standard way: a modal alert with the description as its
// text and the recovery suggestion, when there is one, below it. With a
// `context` ("“walk.anim” could not be played."), that sentence leads and the
// error's own text follows. Runs on the main thread and returns when the
// user has dismissed it.
void presentError(const Error& error, QWidget* parent, const QString& context = {});

// Replaces the alert, for a run without a user (screenshots): every error
// goes to `presenter` instead. An empty function restores the alert.
void setErrorPresenter(std::function<void(const Error&)> presenter);

}  // namespace velarium::app
