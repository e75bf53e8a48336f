#pragma once

// What the information panel says about an animation, read from its parsed
// container. The texts are fixed (not translated); only the colour count and
// the file size follow the locale's digit grouping. The parser stays behind this class:
// nothing else in the application reads the container itself, but for
// colour cycling (ColourCycler), which turns the shown frame's colours.

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

#include "platform/foundation/Error.h"

namespace velarium {
class ANIMParser;
}

namespace velarium::app {

// One line of the panel: a label such as "Frames:" and its value.
struct InfoRow {
    QString label;
    QString value;
};

class ANIMInfo {
public:
    // Parses a whole file. Null, with `error` filled, when the bytes hold no
    // animation frames; `fileName` names the file in that error.
    static std::unique_ptr<ANIMInfo> fromBytes(const QByteArray& bytes, const QString& fileName, Error* error);
    // The picture's pixel aspect (xAspect, yAspect) from the header at the
    // start of the file at `path`, reading no more of the file than needed;
    // (0, 0) when it cannot be read.
    static std::pair<int, int> pixelAspectOfFile(const QString& path);

    ~ANIMInfo();
    ANIMInfo(const ANIMInfo&) = delete;
    ANIMInfo& operator=(const ANIMInfo&) = delete;

    // The rows of the panel, in display order: resolution, opcode, HAM,
    // Extra Half-Brite, aspect ratio, frames, frame rate, colours, the
    // file's name and size, the duration, the file's own texts (annotation,
    // author, name, copyright; each only when present) and the transparent
    // colour, and the colour cycling.
    std::vector<InfoRow> rows(const QLocale& locale) const;
    // The compression: the name of the first frame's operation that is not
    // 0, or "0 — Direct (BODY)" when every frame is a full picture.
    QString opcodeString() const;
    // The colours the display mode can show: "4,096 (16 base registers)"
    // for HAM6, "64 (32 + Extra Half-Brite)", or the register count.
    QString colorCountString(const QLocale& locale) const;
    std::pair<int, int> pixelAspect() const;
    // The ranges that cycle and their speeds, slowest first: "2 ranges,
    // 8.6 and 60 steps a second"; "—" when none cycles.
    QString colourCyclingString() const;

private:
    ANIMInfo(std::unique_ptr<ANIMParser> parser, const QString& fileName, qint64 fileSize);

    std::unique_ptr<ANIMParser> parser_;
    QString fileName_;
    qint64 fileSize_;
};

}  // namespace velarium::app
