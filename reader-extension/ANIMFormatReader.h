#pragma once

#include <memory>

#include "core/ANIMParser.h"
#include "platform/foundation/Bytes.h"
#include "platform/mediaextension/MEFormatReader.h"

namespace velarium {

// One opened ANIM file: read into memory whole, parsed once, and presented as
// a movie with one video track. Immutable once initialised.
class ANIMFormatReader final : public MEFormatReader {
public:
    ANIMFormatReader() = default;

    // Reads the whole file (1 byte to 100 MiB) with one read and parses it.
    // Byte source and parser errors are handed on unchanged.
    bool initWithByteSource(const MEByteSourceRef& byteSource, Error* error);

    void loadFileInfoWithCompletionHandler(const FileInfoHandler& completionHandler) override;
    void loadMetadataWithCompletionHandler(const MetadataHandler& completionHandler) override;
    void loadTrackReadersWithCompletionHandler(const TrackReadersHandler& completionHandler) override;

    const std::shared_ptr<ANIMParser>& parser() const { return parser_; }
    void setParser(std::shared_ptr<ANIMParser> parser) { parser_ = std::move(parser); }
    const SharedMutableBytes& fileData() const { return fileData_; }
    void setFileData(SharedMutableBytes fileData) { fileData_ = std::move(fileData); }
    const MEByteSourceRef& byteSourceStrong() const { return byteSourceStrong_; }
    void setByteSourceStrong(MEByteSourceRef byteSource) { byteSourceStrong_ = std::move(byteSource); }

private:
    bool failInitialisation(Error* error, Error failure);

    std::shared_ptr<ANIMParser> parser_;
    SharedMutableBytes fileData_;
    MEByteSourceRef byteSourceStrong_;
};

}  // namespace velarium
