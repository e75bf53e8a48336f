#include "app/GoToFrameDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace velarium::app {

GoToFrameDialog::GoToFrameDialog(std::uint64_t frameCount, std::uint64_t currentIndex, QWidget* parent)
    : QDialog(parent), frameCount_(frameCount) {
    setWindowTitle(tr("Go to Frame"));
    field_ = new QLineEdit(QString::number(currentIndex + 1));
    field_->selectAll();
    message_ = new QLabel;
    message_->setObjectName(QStringLiteral("goToFrameMessage"));
    message_->setForegroundRole(QPalette::PlaceholderText);
    message_->setText(tr("From 1 to %1").arg(frameCount_));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->addRow(tr("Frame:"), field_);
    form->addRow(QString(), message_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void GoToFrameDialog::accept() {
    bool isNumber = false;
    const qulonglong number = field_->text().trimmed().toULongLong(&isNumber);
    if (!isNumber || number < 1 || number > frameCount_) {
        // Said where the user looks, in the error colour; no alert.
        QPalette palette = message_->palette();
        palette.setColor(QPalette::WindowText, Qt::red);
        message_->setPalette(palette);
        message_->setForegroundRole(QPalette::WindowText);
        message_->setText(tr("Enter a frame number from 1 to %1.").arg(frameCount_));
        field_->selectAll();
        field_->setFocus();
        return;
    }
    chosenIndex_ = number - 1;
    QDialog::accept();
}

}  // namespace velarium::app
