#pragma once

// The plugin as a host of the two extensions: it loads Farrago and Dapple
// through the extension loader from the folder installed with the plugin,
// wherever the program that loaded the plugin lives.

#include <filesystem>
#include <memory>
#include <vector>

#include "platform/coremedia/FourCharCode.h"
#include "platform/foundation/Error.h"
#include "platform/mediaextension/MEFormatReader.h"
#include "platform/mediaextension/MEVideoDecoder.h"

namespace velarium::gst {

// The type the format reader is asked for: what the typefinder recognised.
inline constexpr const char* kANIMTypeIdentifier = "com.amiga.anim";

// The plugin's own file, found from its code rather than from the program.
std::filesystem::path pluginFile();

// Where the extensions are looked for: the build tree's folder when the
// plugin lies in the build tree, then the installed folder beside it.
std::vector<std::filesystem::path> extensionFolders();

// The extensions, loaded on first use; null with the loader's error when
// they cannot be had.
std::shared_ptr<MEFormatReaderExtension> animFormatReaderExtension(Error* error);
std::shared_ptr<MEVideoDecoderExtension> videoDecoderExtension(FourCharCode codecType, Error* error);

}  // namespace velarium::gst
