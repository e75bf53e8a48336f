// A format reader extension that breaks its contract on purpose, so that the
// hosts can be checked to answer alike. It claims ANIM files; the word after
// the 12-byte "FORM....ANIM" header says how its track misbehaves:
//   well        4 samples of 1/60 s, as a reader should;
//   back        the third sample starts before the second one ends;
//   step-error  stepping from the third sample fails with an error;
//   endless     the cursor steps forever, each sample 1/60 s later;
//   load-error  the third sample cannot be loaded.
// Samples are 4 × 2 BGRA pictures whose every byte is the sample's index.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/coremedia/BlockBuffer.h"
#include "platform/mediaextension/MEFormatReader.h"

namespace velarium::testing {
namespace {

constexpr std::int32_t kWidth = 4, kHeight = 2;
constexpr std::int64_t kWellSamples = 4;
const Error kStepError("com.example.misbehaving", 7, "The cursor cannot step past the third sample");
const Error kLoadError("com.example.misbehaving", 8, "The third sample cannot be loaded");

struct Track {
    std::string behaviour;
    VideoFormatDescriptionRef description;

    std::int64_t count() const { return behaviour == "endless" ? INT64_MAX : kWellSamples; }
    MediaTime start(std::int64_t index) const {
        return behaviour == "back" && index == 2 ? MediaTime::make(1, 120) : MediaTime::make(index, 60);
    }
};

class Cursor final : public MESampleCursor {
public:
    Cursor(std::shared_ptr<const Track> track, std::int64_t index) : track_(std::move(track)), index_(index) {}

    MediaTime presentationTimeStamp() const override { return track_->start(index_); }
    MediaTime decodeTimeStamp() const override { return presentationTimeStamp(); }
    MediaTime currentSampleDuration() const override { return MediaTime::make(1, 60); }
    VideoFormatDescriptionRef currentSampleFormatDescription() const override { return track_->description; }
    MESampleCursorSyncInfo syncInfo() const override { return {true, false, false}; }
    void stepByDecodeTime(MediaTime, const StepByTimeHandler& done) override { done(MediaTime(), false, nullptr); }
    void stepByPresentationTime(MediaTime, const StepByTimeHandler& done) override { done(MediaTime(), false, nullptr); }
    void stepInDecodeOrderByCount(std::int64_t count, const StepByCountHandler& done) override {
        if (track_->behaviour == "step-error" && count > 0 && index_ + count > 2) return done(0, &kStepError);
        const __int128 target = std::clamp<__int128>(__int128(index_) + count, 0, track_->count() - 1);
        const auto taken = static_cast<std::int64_t>(target - index_);
        index_ += taken;
        done(taken, nullptr);
    }
    void stepInPresentationOrderByCount(std::int64_t count, const StepByCountHandler& done) override {
        stepInDecodeOrderByCount(count, done);
    }
    MESampleCursorRef copy() const override { return std::make_shared<Cursor>(track_, index_); }
    void loadSampleBufferContainingSamplesToEndCursor(const MESampleCursor*, const SampleBufferHandler& done) override {
        if (track_->behaviour == "load-error" && index_ == 2) return done(nullptr, &kLoadError);
        const std::size_t size = kWidth * kHeight * 4;
        auto* memory = new std::uint8_t[size];
        std::memset(memory, static_cast<int>(index_), size);
        BlockBufferRef block;
        BlockBuffer::createWithMemoryBlock(memory, size, [](std::uint8_t* m) { delete[] m; }, 0, size, &block);
        const SampleTimingInfo timing{currentSampleDuration(), presentationTimeStamp(), decodeTimeStamp()};
        SampleBufferRef sample;
        SampleBuffer::createReady(block, track_->description, 1, 1, &timing, 0, nullptr, &sample);
        done(sample, nullptr);
    }

private:
    std::shared_ptr<const Track> track_;
    std::int64_t index_;
};

// The file's reader and its one track's reader in one.
class Reader final : public MEFormatReader, public METrackReader, public std::enable_shared_from_this<Reader> {
public:
    explicit Reader(std::shared_ptr<const Track> track) : track_(std::move(track)) {}

    void loadFileInfoWithCompletionHandler(const FileInfoHandler& done) override {
        done(std::make_shared<MEFileInfo>(), nullptr);
    }
    void loadMetadataWithCompletionHandler(const MetadataHandler& done) override { done({}, nullptr); }
    void loadTrackReadersWithCompletionHandler(const TrackReadersHandler& done) override {
        done({shared_from_this()}, nullptr);
    }
    void loadTrackInfoWithCompletionHandler(const TrackInfoHandler& done) override {
        auto info = std::make_shared<METrackInfo>(kCMMediaType_Video, 1,
                                                  std::vector<VideoFormatDescriptionRef>{track_->description});
        info->setEnabled(true);
        done(info, nullptr);
    }
    void loadUneditedDurationWithCompletionHandler(const DurationHandler& done) override {
        done(MediaTime::make(kWellSamples, 60), nullptr);
    }
    void generateSampleCursorAtPresentationTimeStamp(MediaTime, const CursorHandler& done) override {
        done(std::make_shared<Cursor>(track_, 0), nullptr);
    }
    void generateSampleCursorAtFirstSampleInDecodeOrderWithCompletionHandler(const CursorHandler& done) override {
        done(std::make_shared<Cursor>(track_, 0), nullptr);
    }
    void generateSampleCursorAtLastSampleInDecodeOrderWithCompletionHandler(const CursorHandler& done) override {
        done(std::make_shared<Cursor>(track_, kWellSamples - 1), nullptr);
    }

private:
    std::shared_ptr<const Track> track_;
};

class Factory final : public MEFormatReaderExtension {
public:
    MEFormatReaderRef formatReaderWithByteSource(const MEByteSourceRef& source, const MEFormatReaderInstantiationOptions&,
                                                 Error* error) override {
        const std::int64_t length = source->fileLength();
        if (length <= 12 || length > 64) return fail(error, Error("com.example.misbehaving", 1, "No")), nullptr;
        std::string text(static_cast<std::size_t>(length), '\0');
        std::size_t read = 0;
        if (!source->readDataOfLength(text.size(), 0, text.data(), &read, error)) return nullptr;
        auto track = std::make_shared<Track>(Track{text.substr(12), nullptr});
        VideoFormatDescription::create(makeFourCharCode("ILBM"), kWidth, kHeight, {}, &track->description);
        return std::make_shared<Reader>(std::move(track));
    }
};

}  // namespace
}  // namespace velarium::testing

VELARIUM_EXTENSION_ENTRY_POINT { return new (std::nothrow) velarium::testing::Factory(); }
