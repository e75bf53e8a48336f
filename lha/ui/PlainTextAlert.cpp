#include "lha/ui/PlainTextAlert.h"

#include <QLabel>
#include <QMessageBox>

namespace velarium {

void showTextsPlainly(QMessageBox& alert) {
    alert.setTextFormat(Qt::PlainText);
    // QMessageBox has no setter for the informative text's format, and takes
    // a text with tags in it for rich text. The label is reached by the name
    // Qt gives it; should Qt rename it, informative texts would again be
    // guessed, and a name holding "<b>" would show in bold (nothing worse:
    // names are escaped, and the tests that read these texts would fail).
    if (auto* informative = alert.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        informative->setTextFormat(Qt::PlainText);
}

}  // namespace velarium
