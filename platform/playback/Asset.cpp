#include "platform/playback/Asset.h"

#include "platform/mediaextension/FileByteSource.h"
#include "platform/mediaextension/ExtensionCall.h"
#include "platform/playback/PlaybackError.h"

namespace velarium {

std::shared_ptr<Asset> Asset::assetWithPath(std::filesystem::path path, AssetOptions options,
                                            ExtensionRegistry* registry) {
    return std::shared_ptr<Asset>(
        new Asset(std::move(path), std::move(options), registry ? registry : &ExtensionRegistry::shared()));
}

bool Asset::loadValues(Error* error) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!loaded_) {
        Error failure;
        if (!load(&failure)) loadError_ = failure;
        loaded_ = true;
    }
    return loadError_ ? fail(error, *loadError_) : true;
}

MediaTime Asset::duration() const { return fileInfo_ ? fileInfo_->duration() : MediaTime::invalid(); }

const AssetTrack* Asset::firstEnabledTrack(FourCharCode mediaType) const {
    for (const auto& track : tracks_)
        if (track.info && track.info->mediaType() == mediaType && track.info->isEnabled()) return &track;
    return nullptr;
}

std::shared_ptr<MEFormatReaderExtension> Asset::findFormatReader(Error* error) const {
    if (!options_.typeIdentifier.empty()) {
        auto reader = registry_->formatReaderForTypeIdentifier(options_.typeIdentifier);
        if (!reader)
            fail(error, Error(kPlaybackErrorDomain, kPlaybackErrorNoFormatReader,
                              "No format reader for files of type " + options_.typeIdentifier));
        return reader;
    }
    auto reader = registry_->formatReaderForFileExtension(path_.extension().string());
    if (!reader)
        fail(error, Error(kPlaybackErrorDomain, kPlaybackErrorNoFormatReader, "No format reader for this kind of file"));
    return reader;
}

bool Asset::load(Error* error) {
    auto factory = findFormatReader(error);
    if (!factory) return false;
    auto byteSource = FileByteSource::open(path_, error);
    if (!byteSource) return false;

    Error failure;
    formatReader_ = factory->formatReaderWithByteSource(byteSource, {}, &failure);
    if (!formatReader_) return fail(error, orExtensionFailure(failure, "The format reader did not open the file"));

    // The reader answers through completion handlers; each call below waits
    // for its answer (extensions answer before returning).
    ExtensionCall<MEFileInfoRef> fileInfo;
    formatReader_->loadFileInfoWithCompletionHandler(fileInfo.handler());
    if (!fileInfo.succeeded(error, "The format reader gave no file information")) return false;
    fileInfo_ = fileInfo.value;

    ExtensionCall<std::vector<MetadataItemRef>> metadata;
    formatReader_->loadMetadataWithCompletionHandler(metadata.handler());
    if (!metadata.succeeded(error, "The format reader gave no metadata")) return false;
    metadata_ = metadata.value;

    ExtensionCall<std::vector<METrackReaderRef>> trackReaders;
    formatReader_->loadTrackReadersWithCompletionHandler(trackReaders.handler());
    if (!trackReaders.succeeded(error, "The format reader gave no tracks")) return false;

    for (const auto& reader : trackReaders.value) {
        if (!reader) continue;
        ExtensionCall<METrackInfoRef> info;
        reader->loadTrackInfoWithCompletionHandler(info.handler());
        if (!info.succeeded(error, "A track reader gave no track information")) return false;
        ExtensionCall<MediaTime> duration;
        reader->loadUneditedDurationWithCompletionHandler(duration.handler());
        if (!duration.succeeded(error, "A track reader gave no duration")) return false;
        tracks_.push_back({reader, info.value, duration.value});
    }
    return true;
}

}  // namespace velarium
