#include "lha/ui/BW_ProgressSheet.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "lha/ui/ElidingLabel.h"

namespace velarium {
namespace {

// The panel's content: 440 wide, at least 100 high, with these gaps between
// the title, the bar, the details and the button.
constexpr int kPanelWidth = 440;
constexpr int kPanelMinimumHeight = 100;
constexpr int kMargin = 20;
constexpr int kGapBelowTitle = 10;
constexpr int kGapBelowBar = 8;
constexpr int kGapBelowDetails = 12;
// The details line's font size relative to the regular one (11 to 13 points).
constexpr double kSmallFontScale = 11.0 / 13.0;
// QProgressBar counts in integers; the sheet's range is spread over this many steps.
constexpr int kBarSteps = 10000;

// The panel itself. Escape, and any request to close it from outside, is the
// Cancel button when the user can press it; only the sheet closes the panel.
class ProgressPanel : public QDialog {
public:
    using QDialog::QDialog;
    QPushButton* cancelButton = nullptr;

    void reject() override {
        if (cancelButton && !cancelButton->isHidden() && cancelButton->isEnabled()) cancelButton->click();
    }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        reject();
    }
};

constexpr Qt::WindowFlags kPanelFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;

bool delegateHas(const QObject* delegate, const char* signature) {
    return delegate && delegate->metaObject()->indexOfMethod(signature) >= 0;
}

}  // namespace

BW_ProgressSheet::BW_ProgressSheet(QObject* parent) : QObject(parent) {}

BW_ProgressSheet::~BW_ProgressSheet() { delete panel_.data(); }

void BW_ProgressSheet::buildPanel() {
    auto* panel = new ProgressPanel(nullptr, kPanelFlags);
    panel->setObjectName(QStringLiteral("BW_ProgressSheetPanel"));
    // The panel's closing never ends the application: its user decides when
    // the work is over.
    panel->setAttribute(Qt::WA_QuitOnClose, false);
    panel->setFixedWidth(kPanelWidth);
    panel->setMinimumHeight(kPanelMinimumHeight);

    titleTextField_ = new ElidingLabel(panel);
    titleTextField_->setObjectName(QStringLiteral("title"));
    QFont bold = titleTextField_->font();
    bold.setBold(true);
    titleTextField_->setFont(bold);

    progress_ = new QProgressBar(panel);
    progress_->setTextVisible(false);

    detailTextField_ = new ElidingLabel(panel);
    detailTextField_->setObjectName(QStringLiteral("details"));
    QFont small = detailTextField_->font();
    small.setPointSizeF(small.pointSizeF() * kSmallFontScale);
    detailTextField_->setFont(small);
    QPalette secondary = detailTextField_->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    detailTextField_->setPalette(secondary);

    cancelButton_ = new QPushButton(tr("Cancel"), panel);
    cancelButton_->setAutoDefault(false);
    // A hidden button keeps its room, so the panel does not change size.
    QSizePolicy keepRoom = cancelButton_->sizePolicy();
    keepRoom.setRetainSizeWhenHidden(true);
    cancelButton_->setSizePolicy(keepRoom);
    panel->cancelButton = cancelButton_;
    connect(cancelButton_, &QPushButton::clicked, this, &BW_ProgressSheet::cancel);

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    layout->setSpacing(0);
    layout->addWidget(titleTextField_);
    layout->addSpacing(kGapBelowTitle);
    layout->addWidget(progress_);
    layout->addSpacing(kGapBelowBar);
    layout->addWidget(detailTextField_);
    layout->addSpacing(kGapBelowDetails);
    layout->addWidget(cancelButton_, 0, Qt::AlignRight);
    layout->addStretch();
    panel_ = panel;
}

bool BW_ProgressSheet::progSheetEntryWithDict(const QVariantMap& settings, QWidget* window) {
    const bool onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    Q_ASSERT(onMainThread);
    if (!onMainThread) qFatal("BW_ProgressSheet::progSheetEntryWithDict must be called on the main thread");

    if (!panel_) buildPanel();
    window_ = window;

    const QString title = settings.value(kProgSheetTitleKey).toString();
    titleTextField_->setText(title);
    detailTextField_->setText(settings.value(kProgSheetDetailsKey).toString());
    cancelButton_->setHidden(!settings.value(kProgSheetCancellableKey).toBool());
    cancelButton_->setEnabled(true);
    panel_->setWindowTitle(title);

    indeterminate_ = settings.value(kProgSheetIndeterminateKey).toBool();
    maxValue_ = settings.value(kProgSheetMaxValueKey).toDouble();
    minValue_ = settings.value(kProgSheetMinValueKey).toDouble();
    value_ = settings.value(kProgSheetStartValueKey).toDouble();
    showBarValue();

    if (window_) {
        panel_->setParent(window_, kPanelFlags);
        panel_->setWindowModality(Qt::WindowModal);
        panel_->show();
    } else {
        panel_->setParent(nullptr, kPanelFlags);
        panel_->setWindowModality(Qt::NonModal);
        panel_->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = panel_->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            panel_->move(frame.topLeft());
        }
        panel_->show();
        panel_->raise();
        panel_->activateWindow();
    }
    return true;
}

// An indeterminate bar runs its own busy animation (a range of 0 to 0) while
// it is shown; a determinate one shows the value within the sheet's range,
// which may be empty (all 0 when the settings name none).
void BW_ProgressSheet::showBarValue() {
    if (!panel_) return;
    if (indeterminate_) {
        progress_->setRange(0, 0);
        return;
    }
    progress_->setRange(0, kBarSteps);
    const double span = maxValue_ - minValue_;
    const double fraction = span > 0.0 ? (std::clamp(value_, minValue_, maxValue_) - minValue_) / span : 0.0;
    progress_->setValue(static_cast<int>(std::lround(fraction * kBarSteps)));
}

void BW_ProgressSheet::setProgressValue(double value) {
    value_ = value;
    if (!indeterminate_) showBarValue();
}

bool BW_ProgressSheet::cancellationPending() const {
    return panel_ && !cancelButton_->isHidden() && !cancelButton_->isEnabled();
}

void BW_ProgressSheet::setDetailsValue(const QString& details) {
    if (!panel_ || cancellationPending()) return;
    detailTextField_->setText(details);
}

void BW_ProgressSheet::progSheetExit() {
    // Hiding the panel also stops an indeterminate bar's animation.
    if (panel_) panel_->hide();
    notifyCompleted();
}

void BW_ProgressSheet::notifyCompleted() {
    if (!hasDelegate_ || !delegate_) return;
    emit progSheetClose(this);
    if (delegate_) QMetaObject::invokeMethod(delegate_, "progressCompleted", Qt::DirectConnection);
}

void BW_ProgressSheet::cancel() {
    if (!panel_) return;
    cancelButton_->setEnabled(false);
    detailTextField_->setText(tr("Cancelling…"));
    if (delegateHas(delegate_, "progressCancelled()"))
        QMetaObject::invokeMethod(delegate_, "progressCancelled", Qt::DirectConnection);
}

void BW_ProgressSheet::setDelegate(QObject* delegate) {
    delegate_ = delegate;
    hasDelegate_ = delegateHas(delegate, "progressCompleted()");
}

}  // namespace velarium
