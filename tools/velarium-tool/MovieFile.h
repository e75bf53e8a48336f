#pragma once

#include <memory>
#include <string>

#include "platform/playback/PlayerItem.h"

namespace velarium::tool {

// The type every file given to the tool is read as, whatever its name
// ("walk.iff", "WALK"): the tool names it rather than trusting extensions.
inline constexpr const char* kANIMTypeIdentifier = "com.amiga.anim";

// Opens `path` as a movie the way an application does: the extensions
// embedded with the tool are registered, an asset is made with the ANIM type
// named, and a player item prepared on it. Null, with the error of the step
// that failed, unless the item is ready to play.
std::shared_ptr<PlayerItem> openMovie(const std::string& path, const PlayerItemOptions& options, Error* error);

}  // namespace velarium::tool
