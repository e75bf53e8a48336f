// Making sure the destination folder exists before anything is extracted.
#include <system_error>

#include "lha/ArchiveExtractor.h"
#include "lha/SystemError.h"

namespace velarium {
namespace {

// The folder's own name, also when the path ends in a separator.
std::string lastComponent(const std::filesystem::path& path) {
    std::filesystem::path name = path.filename();
    if (name.empty()) name = path.parent_path().filename();
    return name.string();
}

}  // namespace

bool prepareDestination(const std::filesystem::path& destination, Error* error) {
    namespace fs = std::filesystem;
    std::error_code status;
    // A link to a folder is the folder the user chose; a dangling link, like a
    // file, is something else already there under that name.
    const fs::file_status own = fs::symlink_status(destination, status);
    if (fs::exists(own)) {
        if (fs::is_directory(fs::status(destination, status))) return true;
        return fail(error, Error(kLHAErrorDomain, kLHAErrorDestinationIsAFile, "The folder could not be created.",
                                 "A file named “" + lastComponent(destination) +
                                     "” already exists there. Choose a different name for the folder."));
    }
    std::error_code created;
    fs::create_directories(destination, created);
    if (created) return fail(error, systemError(created.value(), "Cannot create the folder"));
    return true;
}

}  // namespace velarium
