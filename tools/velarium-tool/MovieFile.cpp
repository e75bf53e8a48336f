// Opening an animation through the media platform and the two extensions.
#include "tools/velarium-tool/MovieFile.h"

#include "platform/mediaextension/Registration.h"

namespace velarium::tool {

std::shared_ptr<PlayerItem> openMovie(const std::string& path, const PlayerItemOptions& options, Error* error) {
    if (!registerFormatReaders(error) || !registerVideoDecoders(error)) return nullptr;
    auto item = PlayerItem::playerItemWithAsset(Asset::assetWithPath(path, AssetOptions{kANIMTypeIdentifier}), options);
    item->prepare();
    if (item->status() != PlayerItemStatus::readyToPlay) {
        fail(error, item->error().value_or(Error()));
        return nullptr;
    }
    return item;
}

}  // namespace velarium::tool
