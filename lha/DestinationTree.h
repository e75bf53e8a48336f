#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "lha/ArchiveExtractor.h"
#include "lha/FileDescriptor.h"

namespace velarium {

// The destination folder, held open, and the folders inside it. Every folder
// is found or created one component at a time relative to the handle of the
// folder above it, following no symbolic link, so nothing an entry names can
// reach outside the destination, not even through a link already inside it.
class DestinationTree {
public:
    // Opens the destination itself; a link there is followed, since it is the
    // folder the user chose. Fails with the system's error.
    bool open(const std::filesystem::path& destination, Error* error);

    // Finds or creates the folder at `relativePath` and every folder above it.
    std::optional<EntryFailure> makeFolder(std::string_view relativePath) const;

    // Where the file at `relativePath` goes: the folder that holds it (found
    // or created, and held open here until the next call) and its name there.
    struct FileSlot {
        int folder = -1;
        std::string name;
        std::optional<EntryFailure> failure;
    };
    FileSlot prepareFile(std::string_view relativePath);

    // Whether /proc/self/fd resolves to the folders held open here (checked
    // once, when opening): lhasa is handed paths through it.
    bool handlePathsWork() const { return handlePathsWork_; }

    // "/proc/self/fd/N/name": the kernel resolves the first part to the very
    // folder `folder` holds, looking up no component of its path again.
    static std::string pathThroughHandle(int folder, const std::string& name);

private:
    FileDescriptor root_;
    bool handlePathsWork_ = false;
    // The folder of the last file, kept open: archives list the files of a
    // folder together, and the next one is often in the same place.
    std::string lastFolderPath_;
    FileDescriptor lastFolder_;
};

}  // namespace velarium
