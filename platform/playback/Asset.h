#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Error.h"
#include "platform/mediaextension/ExtensionRegistry.h"
#include "platform/mediaextension/MEFormatReader.h"

namespace velarium {

struct AssetOptions {
    // When set, the file is opened by the format reader that serves this
    // type identifier, whatever its name. Otherwise the name's extension
    // chooses, as the readers' manifests declare.
    std::string typeIdentifier;
};

struct AssetTrack {
    METrackReaderRef reader;
    METrackInfoRef info;
    MediaTime uneditedDuration;
};

// A movie file and what its format reader says about it. Loading opens the
// file, asks the reader for the file information, metadata and track
// readers, and each track for its information and duration.
class Asset {
public:
    // `registry` defaults to the process's shared registry.
    static std::shared_ptr<Asset> assetWithPath(std::filesystem::path path, AssetOptions options = {},
                                                ExtensionRegistry* registry = nullptr);

    // Loads once; later calls give the same outcome. Safe on any thread.
    // Errors of the file system, the extension and the parser arrive unchanged.
    bool loadValues(Error* error);

    const std::filesystem::path& path() const { return path_; }
    const AssetOptions& options() const { return options_; }
    ExtensionRegistry& registry() const { return *registry_; }

    // Valid after a successful load.
    const MEFormatReaderRef& formatReader() const { return formatReader_; }
    const MEFileInfoRef& fileInfo() const { return fileInfo_; }
    MediaTime duration() const;
    const std::vector<MetadataItemRef>& metadata() const { return metadata_; }
    const std::vector<AssetTrack>& tracks() const { return tracks_; }
    // The first enabled track of the media type, or null.
    const AssetTrack* firstEnabledTrack(FourCharCode mediaType) const;

private:
    Asset(std::filesystem::path path, AssetOptions options, ExtensionRegistry* registry)
        : path_(std::move(path)), options_(std::move(options)), registry_(registry) {}
    bool load(Error* error);
    std::shared_ptr<MEFormatReaderExtension> findFormatReader(Error* error) const;

    std::filesystem::path path_;
    AssetOptions options_;
    ExtensionRegistry* registry_;

    std::mutex mutex_;
    bool loaded_ = false;
    std::optional<Error> loadError_;
    MEFormatReaderRef formatReader_;
    MEFileInfoRef fileInfo_;
    std::vector<MetadataItemRef> metadata_;
    std::vector<AssetTrack> tracks_;
};

}  // namespace velarium
