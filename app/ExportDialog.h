#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <optional>

#include "export/Exporter.h"
#include "platform/foundation/Error.h"

class QCheckBox;
class QComboBox;
class QRadioButton;
class QSpinBox;
class QWidget;

namespace velarium::app {

// File ▸ Export Animation…: the format, the scale, pixel-aspect correction,
// the frames (all, or one frame to another, numbered from 1 as the window's
// counter numbers them), looping, and for a file whose colours cycle, baking
// the cycling in. Video plays once in a player's own way, so looping is not
// offered for it.
class ExportDialog : public QDialog {
    Q_OBJECT
public:
    // `cycling`: whether the file has colour cycling to offer, and whether it
    // is on in the window (the choice it starts with); none when it has not.
    ExportDialog(std::uint64_t frameCount, bool correctAspect, std::optional<bool> cycling = std::nullopt,
                 QWidget* parent = nullptr);

    exporter::ExportOptions options() const;

    QComboBox* formatBox() const { return format_; }
    QSpinBox* fromBox() const { return from_; }
    QSpinBox* toBox() const { return to_; }

private:
    void formatChanged();

    QComboBox* format_;
    QComboBox* scale_;
    QCheckBox* aspect_;
    QRadioButton* all_;
    QRadioButton* range_;
    QSpinBox* from_;
    QSpinBox* to_;
    QCheckBox* once_;
    QCheckBox* cycle_;
    bool offersCycling_ = false;
};

// The alerts of exporting. Names in them are shown as text, escaped.
namespace ExportAlerts {

// What was exported (`text`, names escaped) with a line about it. True when
// the user asks to see it in the file manager.
bool showExported(const QString& text, const QString& summary, QWidget* parent);
// One alert with the reason.
void showFailed(const QString& name, const Error& error, QWidget* parent);
// Some of the frames' files are already in the folder: true to replace them.
bool confirmReplacingFrames(const QString& example, int count, const QString& folder, QWidget* parent);

}  // namespace ExportAlerts

}  // namespace velarium::app
