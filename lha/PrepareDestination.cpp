// Making sure the destination folder exists before anything is extracted.
#include <system_error>

#include "lha/ArchiveExtractor.h"
#include "platform/foundation/SystemError.h"

namespace velarium {
namespace {

// The path without a trailing separator, so that "name/" is looked up as
// "name" itself, and its last component is the folder's name.
std::filesystem::path withoutTrailingSeparator(const std::filesystem::path& path) {
    return path.has_filename() || !path.has_parent_path() ? path : path.parent_path();
}

}  // namespace

bool prepareDestination(const std::filesystem::path& requested, Error* error) {
    namespace fs = std::filesystem;
    const fs::path destination = withoutTrailingSeparator(requested);
    std::error_code status;
    // A link to a folder is the folder the user chose; a dangling link, like a
    // file, is something else already there under that name.
    const fs::file_status own = fs::symlink_status(destination, status);
    if (fs::exists(own)) {
        if (fs::is_directory(fs::status(destination, status))) return true;
        return fail(error, Error(kLHAErrorDomain, kLHAErrorDestinationIsAFile, "The folder could not be created.",
                                 "A file named “" + destination.filename().string() +
                                     "” already exists there. Choose a different name for the folder."));
    }
    std::error_code created;
    fs::create_directories(destination, created);
    if (created) return fail(error, systemError(created.value(), "Cannot create the folder"));
    return true;
}

}  // namespace velarium
