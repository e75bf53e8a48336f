#include "lha/ui/ElidingLabel.h"

#include <QPainter>
#include <QStyle>

namespace velarium {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setTextFormat(Qt::PlainText);
}

QString ElidingLabel::displayedText() const {
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

// One line of the label's font, whatever the text (an empty label keeps its
// place), and no width of its own: the layout decides it.
QSize ElidingLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    return {0, fontMetrics().height() + margins.top() + margins.bottom() + 2 * margin()};
}

QSize ElidingLabel::minimumSizeHint() const { return sizeHint(); }

void ElidingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextSingleLine, palette(), isEnabled(),
                          displayedText(), foregroundRole());
}

}  // namespace velarium
