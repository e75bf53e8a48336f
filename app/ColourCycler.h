#pragma once

// Colour cycling for the window: the file's own parser turns the shown
// frame's colours by its ranges, so that a picture whose palette cycles
// moves on screen while playing and while paused.

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>

namespace velarium {
class ANIMParser;
}

namespace velarium::app {

class ColourCycler {
public:
    // The cycler of the file at `path`; null when it cannot be read or parsed.
    static std::unique_ptr<ColourCycler> fromFile(const QString& path);

    ~ColourCycler();
    ColourCycler(const ColourCycler&) = delete;
    ColourCycler& operator=(const ColourCycler&) = delete;

    // Whether the first picture has a range that cycles.
    bool cycles() const;
    // Frame `index` with the ranges turned as they are `elapsedNs` after
    // cycling started; null when it cannot be decoded.
    QImage frame(std::uint64_t index, qint64 elapsedNs);
    // The first time after `elapsedNs` at which any cycling range steps.
    qint64 nextStepAfter(qint64 elapsedNs) const;

private:
    explicit ColourCycler(std::unique_ptr<ANIMParser> parser);

    std::unique_ptr<ANIMParser> parser_;
    QImage pictures_[2];
    int nextPicture_ = 0;
};

}  // namespace velarium::app
