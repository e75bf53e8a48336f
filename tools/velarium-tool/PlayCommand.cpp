// `play`: the player, the extensions and the clock at work, end to end. Each
// presented frame is printed with its presentation time (and how late it
// came, when it did), then the frames shown, late and dropped and the time
// the whole playback took against the movie's own length.
#include "tools/velarium-tool/PlayCommand.h"

#include <cinttypes>
#include <cstdio>

#include "platform/playback/Player.h"
#include "export/MovieSource.h"
#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

// Prints each frame as the player hands it over, on the player's thread.
class PrintingSink final : public VideoSink {
public:
    void presentPixelBuffer(const PixelBufferRef&, const PresentedFrame& frame) override {
        if (!firstHostTime_.isValid()) firstHostTime_ = frame.hostTime - frame.presentationTime;
        std::printf("frame %" PRIu64 " at %.3f s", frame.index, frame.presentationTime.seconds());
        if (frame.late) {
            const MediaTime due = firstHostTime_ + frame.presentationTime;
            std::printf(" (late by %.1f ms)", (frame.hostTime - due).seconds() * 1000.0);
        }
        std::printf("\n");
        std::fflush(stdout);
    }

private:
    MediaTime firstHostTime_;  // host time at which the movie's time zero plays
};

}  // namespace

int runPlayCommand(const PlayOptions& options) {
    Error error;
    auto item = exporter::openMovie(options.file, PlayerItemOptions{}, &error);
    if (!item) {
        reportError(options.file, error);
        return kExitFailure;
    }

    std::shared_ptr<PlaybackClock> clock;
    if (options.virtualClock)
        clock = std::make_shared<ManualPlaybackClock>();
    else
        clock = std::make_shared<SystemPlaybackClock>();
    Player player(item, std::make_shared<PrintingSink>(), clock);
    player.play();
    player.waitUntilStopped();

    if (item->status() == PlayerItemStatus::failed) {
        reportError(options.file, item->error().value_or(Error()));
        return kExitFailure;
    }
    const PlaybackStatistics statistics = player.statistics();
    const MediaTime elapsed = statistics.endHostTime - statistics.firstPlayHostTime;
    std::printf("%" PRIu64 " frames shown, %" PRIu64 " late, %" PRIu64 " dropped; total time %.3f s (movie %.3f s)\n",
                statistics.framesShown, statistics.framesLate, statistics.framesDropped, elapsed.seconds(),
                item->duration().seconds());
    return kExitSuccess;
}

}  // namespace velarium::tool
