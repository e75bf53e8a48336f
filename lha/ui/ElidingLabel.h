#pragma once

#include <QLabel>

namespace velarium {

// A one-line label that shows its text shortened in the middle ("Long…name")
// when it does not fit, and never asks for more width than it is given, so
// a long text cannot widen the window it sits in.
class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidingLabel(QWidget* parent = nullptr);

    // The text as drawn at the label's current width.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace velarium
