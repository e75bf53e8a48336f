#pragma once

// The texts of the information panel: what an animation is, read from its
// parsed container. The texts are fixed (not translated); only the colour
// count follows the locale's digit grouping.

#include <QLocale>
#include <QString>

#include <cstdint>
#include <vector>

namespace velarium {
class ANIMParser;
}

namespace velarium::app {

// One line of the panel: a label such as "Frames:" and its value.
struct InfoRow {
    QString label;
    QString value;
};

// The name of one ANHD operation byte, e.g. "5 — Byte Vertical Delta (ANIM-5)",
// or "<byte> — Unknown".
QString compressionName(std::uint8_t operation);

// The compression of the animation: the name of the first frame's operation
// that is not 0, or "0 — Direct (BODY)" when every frame is a full picture.
QString infoOpcodeString(const ANIMParser& parser);

// The colours the display mode can show: "4,096 (16 base registers)" for
// HAM6, "64 (32 + Extra Half-Brite)", or the register count.
QString infoColorCountString(const ANIMParser& parser, const QLocale& locale);

// The eight rows of the panel, in display order: resolution, opcode, HAM,
// Extra Half-Brite, aspect ratio, frames, frame rate, colours.
std::vector<InfoRow> infoRows(const ANIMParser& parser, const QLocale& locale);

}  // namespace velarium::app
