#include "app/ExportDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "app/ErrorPresentation.h"
#include "lha/ui/PlainTextAlert.h"

namespace velarium::app {
namespace {

using exporter::ExportFormat;

constexpr ExportFormat kFormats[] = {ExportFormat::apng, ExportFormat::webp, ExportFormat::gif,
                                     ExportFormat::webm, ExportFormat::mp4};
constexpr int kLargestScale = 8;

QString tr(const char* text, int n = -1) {
    return QCoreApplication::translate("velarium::app::ExportDialog", text, nullptr, n);
}

QString formatTitle(ExportFormat format) {
    switch (format) {
    case ExportFormat::apng: return tr("APNG");
    case ExportFormat::webp: return tr("WebP");
    case ExportFormat::gif: return tr("GIF");
    case ExportFormat::webm: return tr("WebM (VP9)");
    case ExportFormat::mp4: return tr("MP4 (H.264)");
    }
    return {};
}

}  // namespace

ExportDialog::ExportDialog(std::uint64_t frameCount, bool correctAspect, std::optional<bool> cycling, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Export Animation"));
    format_ = new QComboBox;
    for (ExportFormat format : kFormats) format_->addItem(formatTitle(format), static_cast<int>(format));
    scale_ = new QComboBox;
    scale_->addItem(tr("Format Default"), 0);
    for (int factor = 1; factor <= kLargestScale; ++factor) scale_->addItem(tr("%1×").arg(factor), factor);
    aspect_ = new QCheckBox(tr("Correct pixel aspect"));
    aspect_->setChecked(correctAspect);

    // Frames are numbered from 1 here, as the window's counter shows them.
    const int lastFrame = static_cast<int>(std::min<std::uint64_t>(frameCount, INT_MAX));
    all_ = new QRadioButton(tr("All frames"));
    range_ = new QRadioButton(tr("From"));
    from_ = new QSpinBox;
    to_ = new QSpinBox;
    for (QSpinBox* box : {from_, to_}) box->setRange(1, std::max(lastFrame, 1));
    to_->setValue(lastFrame);
    all_->setChecked(true);
    auto* range = new QHBoxLayout;
    range->addWidget(range_);
    range->addWidget(from_);
    range->addWidget(new QLabel(tr("to")));
    range->addWidget(to_);
    range->addStretch();
    once_ = new QCheckBox(tr("Play once instead of looping"));
    cycle_ = new QCheckBox(tr("Cycle colours"));
    cycle_->setChecked(cycling.value_or(false));
    offersCycling_ = cycling.has_value();

    auto* form = new QFormLayout;
    form->addRow(tr("Format:"), format_);
    form->addRow(tr("Scale:"), scale_);
    form->addRow(QString(), aspect_);
    form->addRow(tr("Frames:"), all_);
    form->addRow(QString(), range);
    form->addRow(QString(), once_);
    form->addRow(QString(), cycle_);
    form->setRowVisible(cycle_, cycling.has_value());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // Made the default once in the dialog, which would otherwise pick Cancel.
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Export…"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(format_, &QComboBox::currentIndexChanged, this, &ExportDialog::formatChanged);
    // Editing either end of the range chooses the range, and the ends stay in order.
    connect(from_, &QSpinBox::valueChanged, this, [this](int value) {
        range_->setChecked(true);
        if (to_->value() < value) to_->setValue(value);
    });
    connect(to_, &QSpinBox::valueChanged, this, [this](int value) {
        range_->setChecked(true);
        if (from_->value() > value) from_->setValue(value);
    });
    formatChanged();
}

void ExportDialog::formatChanged() {
    once_->setEnabled(!exporter::isVideo(static_cast<ExportFormat>(format_->currentData().toInt())));
}

exporter::ExportOptions ExportDialog::options() const {
    exporter::ExportOptions options;
    options.format = static_cast<ExportFormat>(format_->currentData().toInt());
    options.scale = static_cast<unsigned>(scale_->currentData().toInt());
    options.correctAspect = aspect_->isChecked();
    if (range_->isChecked()) {
        options.from = static_cast<std::uint64_t>(from_->value() - 1);
        options.count = static_cast<std::uint64_t>(to_->value() - from_->value() + 1);
    }
    options.once = once_->isEnabled() && once_->isChecked();
    options.cycleColours = offersCycling_ && cycle_->isChecked();
    return options;
}

namespace ExportAlerts {
namespace {

// Shows the alert modal on `parent`'s window (or the application when there
// is none), its texts plain, with `safe` answering Enter and Escape; the
// button that was clicked.
QAbstractButton* ask(QMessageBox& alert, QPushButton* safe, QWidget* parent) {
    alert.setDefaultButton(safe);
    alert.setEscapeButton(safe);
    showTextsPlainly(alert);
    alert.setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    alert.exec();
    return alert.clickedButton();
}

}  // namespace

bool showExported(const QString& text, const QString& summary, QWidget* parent) {
    QMessageBox alert(QMessageBox::Information, QCoreApplication::applicationName(), text, QMessageBox::NoButton,
                      parent);
    alert.setInformativeText(summary);
    QPushButton* show = alert.addButton(tr("Show in File Manager"), QMessageBox::ActionRole);
    QPushButton* ok = alert.addButton(tr("OK"), QMessageBox::AcceptRole);
    return ask(alert, ok, parent) == show;
}

void showFailed(const QString& name, const Error& error, QWidget* parent) {
    presentError(error, parent, tr("“%1” couldn’t be exported.").arg(shownFileName(name)));
}

bool confirmReplacingFrames(const QString& example, int count, const QString& folder, QWidget* parent) {
    QMessageBox question(QMessageBox::Warning, QCoreApplication::applicationName(),
                         tr("“%1” already holds %n of the frames’ files, such as “%2”.", count)
                             .arg(shownFileName(folder), shownFileName(example)),
                         QMessageBox::NoButton, parent);
    question.setInformativeText(tr("Replacing them overwrites what they hold."));
    QPushButton* replace = question.addButton(tr("Replace"), QMessageBox::AcceptRole);
    QPushButton* cancel = question.addButton(tr("Cancel"), QMessageBox::RejectRole);
    return ask(question, cancel, parent) == replace;
}

}  // namespace ExportAlerts

}  // namespace velarium::app
