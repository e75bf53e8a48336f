#pragma once

class QMessageBox;

namespace velarium {

// Makes an alert show its text and informative text as they are, never as
// markup, so that a name holding "<b>" or "<img …>" shows those characters.
// Call it after the texts are set.
void showTextsPlainly(QMessageBox& alert);

}  // namespace velarium
