#include "reader-extension/ANIMFormatReader.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "reader-extension/ANIMTrackReader.h"
#include "reader-extension/FarragoConstants.h"

namespace velarium {
namespace {

constexpr const char* kMetadataCommentFormat = "Amiga IFF ANIM - %lux%lu, %lu planes, %lu frames";

Error readerError(ANIMFormatReaderErrorCode code, const char* text) {
    return Error(kANIMFormatReaderErrorDomain, code, text);
}

// Whether a callee filled in the error it was handed.
bool wasSet(const Error& error) { return !error.domain.empty(); }

}  // namespace

bool ANIMFormatReader::failInitialisation(Error* error, Error failure) {
    parser_.reset();
    fileData_.reset();
    byteSourceStrong_.reset();
    return fail(error, std::move(failure));
}

bool ANIMFormatReader::initWithByteSource(const MEByteSourceRef& byteSource, Error* error) {
    byteSourceStrong_ = byteSource;
    const std::int64_t length = byteSource ? byteSource->fileLength() : 0;
    if (length <= 0 || length > kANIMMaxFileSize)
        return failInitialisation(error, readerError(kANIMFormatReaderErrorInvalidFileSize, "Invalid file size"));

    auto buffer = std::make_shared<Bytes>();
    try {
        buffer->resize(static_cast<std::size_t>(length));
    } catch (const std::bad_alloc&) {
        return failInitialisation(error, readerError(kANIMFormatReaderErrorReadFailed, "Read failed"));
    }

    // One read of the whole file straight into the buffer.
    std::size_t bytesRead = 0;
    Error readFailure;
    const bool readOK = byteSource->readDataOfLength(buffer->size(), 0, buffer->data(), &bytesRead, &readFailure);
    if (!readOK || bytesRead == 0)
        return failInitialisation(error, wasSet(readFailure) ? readFailure
                                                             : readerError(kANIMFormatReaderErrorReadFailed,
                                                                           "Read failed"));
    // A short read is accepted: the file is as long as what arrived. A source
    // claiming more than it was asked for is believed only up to the buffer.
    if (bytesRead < buffer->size()) buffer->resize(bytesRead);

    fileData_ = buffer;
    parser_ = std::make_shared<ANIMParser>(SharedBytes(fileData_));
    Error parseFailure;
    if (!parser_->parseWithError(&parseFailure))
        return failInitialisation(error, wasSet(parseFailure) ? parseFailure
                                                              : readerError(kANIMFormatReaderErrorParseFailed,
                                                                            "Failed to parse ANIM file"));
    return true;
}

void ANIMFormatReader::loadFileInfoWithCompletionHandler(const FileInfoHandler& completionHandler) {
    auto info = std::make_shared<MEFileInfo>();
    info->setDuration(parser_ ? parser_->totalDuration() : MediaTime{});
    info->setFragmentsStatus(MEFileInfoFragmentsStatus::couldNotContainFragments);
    completionHandler(std::move(info), nullptr);
}

void ANIMFormatReader::loadMetadataWithCompletionHandler(const MetadataHandler& completionHandler) {
    char comment[160];
    std::snprintf(comment, sizeof comment, kMetadataCommentFormat,
                  static_cast<unsigned long>(parser_ ? parser_->width() : 0),
                  static_cast<unsigned long>(parser_ ? parser_->height() : 0),
                  static_cast<unsigned long>(parser_ ? parser_->numPlanes() : 0),
                  static_cast<unsigned long>(parser_ ? parser_->numFrames() : 0));
    auto item = std::make_shared<MetadataItem>();
    item->setIdentifier(kMetadataIdentifierQuickTimeUserDataComment);
    item->setDataType(kMetadataBaseDataTypeUTF8);
    item->setValue(comment);
    std::vector<MetadataItemRef> items{std::move(item)};
    if (parser_ && parser_->endsEarly()) {
        auto cutOff = std::make_shared<MetadataItem>();
        cutOff->setIdentifier(kMetadataIdentifierFileEndsEarly);
        cutOff->setDataType(kMetadataBaseDataTypeUTF8);
        cutOff->setValue(std::to_string(parser_->numFrames()));
        items.push_back(std::move(cutOff));
    }
    completionHandler(std::move(items), nullptr);
}

void ANIMFormatReader::loadTrackReadersWithCompletionHandler(const TrackReadersHandler& completionHandler) {
    completionHandler({std::make_shared<ANIMTrackReader>(parser_, 0, byteSourceStrong_)}, nullptr);
}

}  // namespace velarium
