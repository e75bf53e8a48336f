// Folders inside the destination, reached through open handles without
// following links.
#include "lha/DestinationTree.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/foundation/SystemError.h"

namespace velarium {
namespace {

// A handle that can serve as the base of *at() calls and of a /proc path,
// and needs no read permission on the folder.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

// What stands in the way of `name` in `parent` being opened as a folder.
EntryFailure obstacle(int parent, const std::string& name) {
    struct stat found {};
    if (::fstatat(parent, name.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(found.st_mode)) return EntryFailure::RunsIntoLink;
        if (!S_ISDIR(found.st_mode)) return EntryFailure::NotAFolder;
    }
    return EntryFailure::CannotCreateFolder;
}

// Opens the folder `name` inside `parent`, creating it when it is missing.
// A link there is never followed: the entry fails instead.
FileDescriptor openOrCreateFolder(int parent, const std::string& name, std::optional<EntryFailure>* failure) {
    int fd = ::openat(parent, name.c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd < 0 && errno == ENOENT) {
        if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
            *failure = EntryFailure::CannotCreateFolder;
            return {};
        }
        fd = ::openat(parent, name.c_str(), kFolderFlags | O_NOFOLLOW);
    }
    if (fd < 0) *failure = obstacle(parent, name);
    return FileDescriptor(fd);
}

// Walks `components` (a relative path of non-empty names joined by '/') from
// `start`, creating the folders on the way; returns the last one opened.
FileDescriptor walkFolders(int start, std::string_view components, std::optional<EntryFailure>* failure) {
    FileDescriptor current;
    std::size_t begin = 0;
    while (begin < components.size()) {
        std::size_t end = components.find('/', begin);
        if (end == std::string_view::npos) end = components.size();
        const std::string name(components.substr(begin, end - begin));
        FileDescriptor next = openOrCreateFolder(current.valid() ? current.get() : start, name, failure);
        if (!next.valid()) return {};
        current = std::move(next);
        begin = end + 1;
    }
    return current;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

bool DestinationTree::open(const std::filesystem::path& destination, Error* error) {
    root_ = FileDescriptor(::open(destination.c_str(), kFolderFlags));
    if (!root_.valid()) return fail(error, systemError(errno, "Cannot open the folder"));
    struct stat direct {}, throughProc {};
    const std::string procPath = "/proc/self/fd/" + std::to_string(root_.get());
    handlePathsWork_ = ::fstat(root_.get(), &direct) == 0 && ::stat(procPath.c_str(), &throughProc) == 0 &&
                       sameFile(direct, throughProc);
    return true;
}

std::optional<EntryFailure> DestinationTree::makeFolder(std::string_view relativePath) const {
    std::optional<EntryFailure> failure;
    walkFolders(root_.get(), relativePath, &failure);
    return failure;
}

DestinationTree::FileSlot DestinationTree::prepareFile(std::string_view relativePath) {
    FileSlot slot;
    const std::size_t slash = relativePath.rfind('/');
    if (slash == std::string_view::npos) {
        slot.folder = root_.get();
        slot.name = std::string(relativePath);
        return slot;
    }
    const std::string_view folderPath = relativePath.substr(0, slash);
    if (!lastFolder_.valid() || folderPath != lastFolderPath_) {
        lastFolder_ = walkFolders(root_.get(), folderPath, &slot.failure);
        lastFolderPath_ = lastFolder_.valid() ? std::string(folderPath) : std::string();
    }
    slot.folder = lastFolder_.get();
    slot.name = std::string(relativePath.substr(slash + 1));
    return slot;
}

std::string DestinationTree::pathThroughHandle(int folder, const std::string& name) {
    return "/proc/self/fd/" + std::to_string(folder) + "/" + name;
}

}  // namespace velarium
