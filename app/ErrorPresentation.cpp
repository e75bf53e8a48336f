#include "app/ErrorPresentation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>

#include "lha/ui/PlainTextAlert.h"
#include "platform/foundation/EscapedText.h"

namespace velarium::app {
namespace {

std::function<void(const Error&)>& presenterOverride() {
    static std::function<void(const Error&)> presenter;
    return presenter;
}

QString tr(const char* text) { return QCoreApplication::translate("Velarium", text); }

std::string utf8(const QString& text) { return text.toStdString(); }

}  // namespace

QString shownFileName(const QString& path) {
    return QString::fromStdString(escapedText(QFileInfo(path).fileName().toStdString()));
}

Error noSuchFileError(const QString& path) {
    return Error(kCocoaErrorDomain, kFileReadNoSuchFileError,
                 utf8(tr("The file “%1” couldn’t be opened because there is no such file.")
                          .arg(shownFileName(path))),
                 utf8(tr("Check the file name and whether it was moved or deleted.")));
}

Error noPermissionError(const QString& path) {
    return Error(kCocoaErrorDomain, kFileReadNoPermissionError,
                 utf8(tr("The file “%1” couldn’t be opened because you don’t have permission to view it.")
                          .arg(shownFileName(path))),
                 utf8(tr("Check the file’s permissions, or ask its owner to let you read it.")));
}

Error cannotOpenTypeError(const QString& path) {
    return Error(kCocoaErrorDomain, kFileReadUnknownError,
                 utf8(tr("The document “%1” could not be opened. Velarium cannot open files of this type.")
                          .arg(shownFileName(path))),
                 utf8(tr("Velarium opens Amiga IFF ANIM animations.")));
}

Error userCancelledError() {
    return Error(kCocoaErrorDomain, kUserCancelledError, utf8(tr("The operation was cancelled.")));
}

bool isUserCancelled(const Error& error) {
    return error.domain == kCocoaErrorDomain && error.code == kUserCancelledError;
}

void presentError(const Error& error, QWidget* parent, const QString& context) {
    if (presenterOverride()) {
        presenterOverride()(error);
        return;
    }
    const QString description = QString::fromStdString(error.localizedDescription);
    QStringList details;
    if (!context.isEmpty() && !description.isEmpty()) details << description;
    if (!error.recoverySuggestion.empty()) details << QString::fromStdString(error.recoverySuggestion);
    QMessageBox alert(QMessageBox::Warning, QCoreApplication::applicationName(), context.isEmpty() ? description : context,
                      QMessageBox::Ok, parent);
    if (!details.isEmpty()) alert.setInformativeText(details.join(QStringLiteral("\n\n")));
    showTextsPlainly(alert);
    alert.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    alert.exec();
}

void setErrorPresenter(std::function<void(const Error&)> presenter) { presenterOverride() = std::move(presenter); }

}  // namespace velarium::app

