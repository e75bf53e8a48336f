#pragma once

#include <memory>
#include <string>

namespace velarium {

// The user-data comment of a QuickTime-style movie.
inline constexpr const char* kMetadataIdentifierQuickTimeUserDataComment = "udta/%A9cmt";
// Present only when the file ends before its own structure says it does (it
// was cut off): the samples it held after the last one read are lost. The
// value is the number of samples read, as UTF-8 text.
inline constexpr const char* kMetadataIdentifierFileEndsEarly = "com.brackwater.Velarium.fileEndsEarly";
// Item values that are UTF-8 text.
inline constexpr const char* kMetadataBaseDataTypeUTF8 = "UTF-8";

// One piece of metadata about a file: what it is (identifier), how its value
// is encoded (data type) and the value.
class MetadataItem {
public:
    const std::string& identifier() const { return identifier_; }
    void setIdentifier(std::string identifier) { identifier_ = std::move(identifier); }
    const std::string& dataType() const { return dataType_; }
    void setDataType(std::string dataType) { dataType_ = std::move(dataType); }
    const std::string& value() const { return value_; }
    void setValue(std::string value) { value_ = std::move(value); }

private:
    std::string identifier_;
    std::string dataType_;
    std::string value_;
};

using MetadataItemRef = std::shared_ptr<MetadataItem>;

}  // namespace velarium
