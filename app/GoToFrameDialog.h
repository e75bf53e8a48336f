#pragma once

#include <QDialog>

#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;

namespace velarium::app {

// Playback ▸ Go to Frame: asks for a frame number, counted from 1 as the
// window's counter counts. A number out of range or no number at all keeps
// the dialog open with a message under the field.
class GoToFrameDialog : public QDialog {
    Q_OBJECT
public:
    GoToFrameDialog(std::uint64_t frameCount, std::uint64_t currentIndex, QWidget* parent = nullptr);

    // The chosen frame's index, from 0; none until a valid number is accepted.
    std::optional<std::uint64_t> chosenIndex() const { return chosenIndex_; }

    void accept() override;

private:
    std::uint64_t frameCount_;
    std::optional<std::uint64_t> chosenIndex_;
    QLineEdit* field_;
    QLabel* message_;
};

}  // namespace velarium::app
