#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

class QProgressBar;
class QPushButton;
class QWidget;

namespace velarium {

class ElidingLabel;

// The settings of one showing of the sheet. A missing key reads as the empty
// text, false or 0.
inline constexpr const char* kProgSheetTitleKey = "BW_ProgSheet_Title";                  // text
inline constexpr const char* kProgSheetDetailsKey = "BW_ProgSheet_Details";              // text
inline constexpr const char* kProgSheetIndeterminateKey = "BW_ProgSheet_Indeterminate";  // bool
inline constexpr const char* kProgSheetMinValueKey = "BW_ProgSheet_MinValue";            // double
inline constexpr const char* kProgSheetMaxValueKey = "BW_ProgSheet_MaxValue";            // double
inline constexpr const char* kProgSheetStartValueKey = "BW_ProgSheet_StartValue";        // double
inline constexpr const char* kProgSheetCancellableKey = "BW_ProgSheet_Cancellable";      // bool

// A small progress panel: a bold title, a progress bar, a line of details
// and an optional Cancel button (Escape). On a window it is a window-modal
// sheet; without one it is a free-standing panel in the middle of the screen.
// The panel is built on the first showing and reused by later ones.
//
// Use: create; setDelegate; progSheetEntryWithDict; any number of
// setProgressValue and setDetailsValue; progSheetExit; delete. Everything
// runs on the main thread; workers post their updates to it.
//
// The delegate is any QObject, held weakly. Its slots (or invokables) are
// looked up by name when needed, and each is optional:
//   progressCompleted()  called after the sheet has closed; only a delegate
//                        that has it makes the sheet send progSheetClose;
//   progressCancelled()  called when the user presses Cancel.
class BW_ProgressSheet : public QObject {
    Q_OBJECT
public:
    explicit BW_ProgressSheet(QObject* parent = nullptr);
    ~BW_ProgressSheet() override;

    // Shows the sheet on `window`, or free-standing and centred when there
    // is none. Resets every text, the bar and the Cancel button. Always true.
    // Ends the process when called off the main thread.
    bool progSheetEntryWithDict(const QVariantMap& settings, QWidget* window);
    void setProgressValue(double value);
    // Ignored while a cancellation is pending, so that "Cancelling…" stays.
    void setDetailsValue(const QString& details);
    // Closes the sheet; a delegate that takes completion is then told.
    void progSheetExit();

    void setDelegate(QObject* delegate);
    QObject* delegate() const { return delegate_; }
    // True when the delegate has progressCompleted().
    bool hasDelegate() const { return hasDelegate_; }

    // The bar as the sheet's user set it (the bar itself counts in steps).
    double progressValue() const { return value_; }
    double minValue() const { return minValue_; }
    double maxValue() const { return maxValue_; }
    bool isIndeterminate() const { return indeterminate_; }

    // The panel and its controls; null until the first showing.
    QDialog* panel() const { return panel_; }
    ElidingLabel* titleTextField() const { return titleTextField_; }
    QProgressBar* progress() const { return progress_; }
    ElidingLabel* detailTextField() const { return detailTextField_; }
    QPushButton* cancelButton() const { return cancelButton_; }

public slots:
    // The Cancel button: disables itself, shows "Cancelling…" and tells the
    // delegate. The sheet stays until its user calls progSheetExit.
    void cancel();

signals:
    // The "BW_ProgSheetClose" notification: the sheet has closed. Sent just
    // before the delegate's progressCompleted, and only when it has one.
    void progSheetClose(velarium::BW_ProgressSheet* sheet);

private:
    void buildPanel();
    void showBarValue();
    void notifyCompleted();
    bool cancellationPending() const;

    QPointer<QWidget> window_;
    QPointer<QObject> delegate_;
    bool hasDelegate_ = false;

    QPointer<QDialog> panel_;
    QProgressBar* progress_ = nullptr;
    ElidingLabel* titleTextField_ = nullptr;
    ElidingLabel* detailTextField_ = nullptr;
    QPushButton* cancelButton_ = nullptr;

    bool indeterminate_ = false;
    double minValue_ = 0.0;
    double maxValue_ = 0.0;
    double value_ = 0.0;
};

}  // namespace velarium
