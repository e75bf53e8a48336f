#include "lha/ui/ExtractionDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>

#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

#include "lha/ANIMSignature.h"
#include "lha/ui/PlainTextAlert.h"
#include "platform/foundation/EscapedText.h"
#include "platform/foundation/SystemError.h"

namespace velarium {
namespace {

// The alerts list this many items of a list, then say how many more there are.
constexpr qsizetype kListedItems = 8;

QString fileName(const QString& path) { return QFileInfo(QDir::cleanPath(path)).fileName(); }

std::filesystem::path fileSystemPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// The first items of a list, one a line, then how many more there are.
QString listText(const std::vector<std::string>& items) {
    QStringList lines;
    for (std::size_t i = 0; i < items.size() && i < std::size_t(kListedItems); ++i)
        lines << QString::fromStdString(escapedText(items[i]));
    QString text = lines.join(QLatin1Char('\n'));
    if (qsizetype(items.size()) > kListedItems)
        text += QLatin1Char('\n') + ExtractionDialogs::tr("…and %1 more").arg(qsizetype(items.size()) - kListedItems);
    return text;
}

// Alerts are application-modal and show their texts as they are, never as
// markup.
void runAlert(QMessageBox& alert) {
    showTextsPlainly(alert);
    alert.setWindowModality(Qt::ApplicationModal);
    alert.exec();
}

void showAlert(QMessageBox::Icon icon, const QString& text, const QString& informative) {
    QMessageBox alert(icon, QCoreApplication::applicationName(), text, QMessageBox::Ok);
    alert.setInformativeText(informative);
    runAlert(alert);
}

// QFileDialog has no message line: the message goes above everything else
// in the (non-native) dialog's grid.
void addMessage(QFileDialog& dialog, const QString& message) {
    auto* label = new QLabel(message, &dialog);
    label->setObjectName(QStringLiteral("message"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (!grid) {
        if (dialog.layout()) dialog.layout()->addWidget(label);
        return;
    }
    struct Placed {
        QLayoutItem* item;
        int row, column, rowSpan, columnSpan;
    };
    std::vector<Placed> placed;
    for (int i = grid->count() - 1; i >= 0; --i) {
        Placed p{nullptr, 0, 0, 0, 0};
        grid->getItemPosition(i, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(i);
        placed.push_back(p);
    }
    std::vector<int> stretches;
    for (int row = 0; row < grid->rowCount(); ++row) stretches.push_back(grid->rowStretch(row));
    for (int row = 0; row < grid->rowCount(); ++row) grid->setRowStretch(row, 0);
    for (std::size_t row = 0; row < stretches.size(); ++row) grid->setRowStretch(int(row) + 1, stretches[row]);
    grid->addWidget(label, 0, 0, 1, grid->columnCount());
    for (auto it = placed.rbegin(); it != placed.rend(); ++it)
        grid->addItem(it->item, it->row + 1, it->column, it->rowSpan, it->columnSpan);
}

bool holdsAnything(const QString& folder) {
    std::error_code error;
    const bool empty = std::filesystem::is_empty(fileSystemPath(folder), error);
    return error || !empty;  // a folder that cannot be read may hold anything
}

// Files in an existing folder may be replaced by the archive's: the user
// says so first. Cancel is the default.
bool confirmReplacement(const QString& folder, QWidget* parent) {
    QMessageBox question(QMessageBox::Warning, QCoreApplication::applicationName(),
                         ExtractionDialogs::tr("“%1” already exists. Files in it with the same names as files in the "
                                               "archive will be replaced.")
                             .arg(ExtractionDialogs::shown(fileName(folder))),
                         QMessageBox::NoButton, parent);
    QPushButton* replace = question.addButton(ExtractionDialogs::tr("Replace"), QMessageBox::AcceptRole);
    QPushButton* cancel = question.addButton(ExtractionDialogs::tr("Cancel"), QMessageBox::RejectRole);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    runAlert(question);
    return question.clickedButton() == replace;
}

// The save dialog for the destination. A name that is an existing folder
// chooses that folder (asking first when it holds anything) where Qt's
// dialog would move into it.
class DestinationDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    QString chosenPath() const { return chosen_.isEmpty() ? selectedFiles().value(0) : chosen_; }

    void accept() override {
        const QStringList files = selectedFiles();
        // QFileDialog names its name field so, and offers no other way to
        // tell a name typed there from a folder only selected in the list.
        // Should Qt rename it, a typed folder name would move the dialog into
        // that folder instead of choosing it, as Qt's own dialog does (the
        // extractor's tests, which type folder names, would then fail).
        const auto* nameField = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (files.size() == 1 && nameField && !nameField->text().isEmpty() && QFileInfo(files.first()).isDir()) {
            if (holdsAnything(files.first()) && !confirmReplacement(files.first(), this)) return;
            chosen_ = files.first();
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    QString chosen_;
};

// The Open dialog for the animations found: a name typed in that is neither
// a folder nor an ANIM file is not accepted either.
class AnimationsDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        for (const QString& path : selectedFiles())
            if (!ExtractionDialogs::canChoose(QUrl::fromLocalFile(path))) return;
        QFileDialog::accept();
    }
};

// Shows every file of the Open dialog but lets only folders and ANIM files
// be chosen. Each file's signature is read once.
class AnimationsOnlyModel : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files || !index.isValid()) return flags;
        const QModelIndex source = mapToSource(index);
        if (files->isDir(source)) return flags;
        const QString path = files->filePath(source);
        auto known = enabled_.constFind(path);
        if (known == enabled_.cend())
            known = enabled_.insert(path, ExtractionDialogs::canChoose(QUrl::fromLocalFile(path)));
        if (!known.value()) flags &= ~(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        return flags;
    }

private:
    mutable QHash<QString, bool> enabled_;
};

}  // namespace

QString ExtractionDialogs::shown(const QString& name) {
    return QString::fromStdString(escapedText(name.toStdString()));
}

bool ExtractionDialogs::canChoose(const QUrl& url) {
    if (!url.isLocalFile()) return false;
    const QString path = url.toLocalFile();
    return QFileInfo(path).isDir() || hasANIMSignature(fileSystemPath(path));
}

QString ExtractionDialogs::chooseDestination(const QString& archivePath) {
    const QString name = fileName(archivePath);
    QString base = QFileInfo(name).completeBaseName();
    if (base.isEmpty()) base = name;

    DestinationDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Qt's own question concerns an existing file of that name, which the
    // extractor refuses anyway; an existing folder gets the question above.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setWindowTitle(tr("Extract “%1”").arg(shown(name)));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setLabelText(QFileDialog::Accept, tr("Extract"));
    dialog.setLabelText(QFileDialog::FileName, tr("Folder Name:"));
    dialog.setDirectory(QFileInfo(archivePath).absolutePath());
    dialog.selectFile(base);
    addMessage(dialog, tr("Choose where to create a folder for the contents of “%1”.").arg(shown(name)));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.chosenPath();
}

QList<QUrl> ExtractionDialogs::chooseAnimations(const QString& archiveName, const QString& folder) {
    AnimationsDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowTitle(tr("Open ANIM Files"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setLabelText(QFileDialog::Accept, tr("Open"));
    dialog.setProxyModel(new AnimationsOnlyModel(&dialog));
    dialog.setDirectory(folder);
    addMessage(dialog, tr("“%1” has been extracted. Choose the animations to open.").arg(shown(archiveName)));
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedUrls();
}

void ExtractionDialogs::showError(const Error& error, Step step, const QString& archiveName,
                                  const QString& destination) {
    const QString folder = shown(fileName(destination));
    if (error.domain == kLHAErrorDomain && error.code == kLHAErrorDestinationIsAFile) {
        showAlert(QMessageBox::Warning, tr("The folder could not be created."),
                  tr("A file named “%1” already exists there. Choose a different name for the folder.").arg(folder));
    } else if (error.domain == kLHAErrorDomain && error.code == kLHAErrorArchiveUnreadable) {
        showAlert(QMessageBox::Warning, tr("The archive could not be read."),
                  tr("“%1” is not an LHA archive, or it is damaged.").arg(shown(archiveName)));
    } else if (error.domain == kPOSIXErrorDomain) {
        const QString reason = QString::fromStdString(std::generic_category().message(int(error.code)));
        if (step == Step::PreparingDestination)
            showAlert(QMessageBox::Warning, tr("The folder could not be created."),
                      tr("“%1” could not be created: %2.").arg(folder, reason));
        else
            showAlert(QMessageBox::Warning, tr("The folder could not be opened."),
                      tr("“%1” could not be opened: %2.").arg(folder, reason));
    } else {
        showAlert(QMessageBox::Warning, shown(QString::fromStdString(error.localizedDescription)),
                  shown(QString::fromStdString(error.recoverySuggestion)));
    }
}

void ExtractionDialogs::showProblems(const QString& archiveName, const ExtractionReport& report) {
    QStringList sections;
    if (!report.failed.empty()) {
        std::vector<std::string> paths;
        for (const FailedEntry& entry : report.failed) paths.push_back(entry.path);
        sections << tr("These items could not be extracted, or failed their checksum:\n%1").arg(listText(paths));
    }
    if (!report.skippedLinks.empty())
        sections << tr("These symbolic links were not extracted:\n%1").arg(listText(report.skippedLinks));
    if (report.stoppedEarly) {
        sections << (report.lastEntryPath.empty()
                         ? tr("The archive is damaged: entries after the last one read are missing.")
                         : tr("The archive is damaged: entries after “%1” are missing.")
                               .arg(QString::fromStdString(escapedText(report.lastEntryPath))));
    }
    if (sections.isEmpty()) return;
    showAlert(QMessageBox::Warning, tr("Some of “%1” was not extracted.").arg(shown(archiveName)),
              sections.join(QStringLiteral("\n\n")));
}

bool ExtractionDialogs::showNoAnimations(const QString& archiveName, const QString& destination) {
    QMessageBox alert(QMessageBox::Information, QCoreApplication::applicationName(),
                      tr("“%1” contains no ANIM files.").arg(shown(archiveName)));
    alert.setInformativeText(tr("Its contents were extracted to “%1”.").arg(shown(fileName(destination))));
    QPushButton* show = alert.addButton(tr("Show in Finder"), QMessageBox::AcceptRole);
    QPushButton* ok = alert.addButton(tr("OK"), QMessageBox::RejectRole);
    alert.setDefaultButton(ok);  // Enter keeps the user where they are
    alert.setEscapeButton(ok);
    runAlert(alert);
    return alert.clickedButton() == show;
}

}  // namespace velarium
