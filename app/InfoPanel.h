#pragma once

#include <QWidget>

#include <vector>

#include "app/ANIMInfo.h"

class QLabel;

namespace velarium::app {

// A small floating window describing one document's animation: a column of
// dimmed labels right-aligned against their values. It is built once per
// document and kept; closing it only hides it.
class InfoPanel : public QWidget {
    Q_OBJECT

public:
    InfoPanel(const QString& displayName, const std::vector<InfoRow>& rows, QWidget* parent = nullptr);

    // Puts the panel 12 px to the right of the document window, top edges
    // level; centres it on the screen when there is no window on screen.
    void placeBeside(const QWidget* documentWindow);
    // Shows the panel above the application's other windows and focuses it.
    void bringToFront();

    const std::vector<InfoRow>& rows() const { return rows_; }
    QLabel* labelAt(std::size_t row) const { return labels_.at(row); }
    QLabel* valueAt(std::size_t row) const { return values_.at(row); }

    static constexpr int kMargin = 16;
    static constexpr int kRowSpacing = 6;
    static constexpr int kColumnSpacing = 10;
    static constexpr int kGapBesideWindow = 12;

private:
    std::vector<InfoRow> rows_;
    std::vector<QLabel*> labels_;
    std::vector<QLabel*> values_;
};

}  // namespace velarium::app
