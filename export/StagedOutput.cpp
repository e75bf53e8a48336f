// The export's file, written under a temporary name beside its destination.
#include "export/StagedOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "export/ExportError.h"

namespace velarium::exporter {
namespace {

Error cannotWrite(const std::string& what, int code) {
    return exportError(kExportErrorCannotWrite, what + ": " + std::strerror(code));
}

Error exists(const std::string& output) {
    return exportError(kExportErrorExists, "\"" + output + "\" already exists");
}

}  // namespace

StagedOutput::~StagedOutput() {
    if (fd_ >= 0) ::close(fd_);
    staged_.reset();  // removes the temporary file unless it was placed
    if (folder_ >= 0) ::close(folder_);
}

std::unique_ptr<StagedOutput> StagedOutput::create(const std::string& output, bool replace, Error* error) {
    const std::filesystem::path path(output);
    const std::string folderPath = path.has_parent_path() ? path.parent_path().string() : std::string(".");
    std::unique_ptr<StagedOutput> staged(new StagedOutput);
    staged->name_ = path.filename().string();
    staged->replace_ = replace;
    staged->folder_ = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (staged->folder_ < 0) {
        fail(error, cannotWrite("Cannot open the folder \"" + folderPath + "\"", errno));
        return nullptr;
    }
    struct stat found {};
    if (staged->name_.empty() ||
        (::fstatat(staged->folder_, staged->name_.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
         (!replace || S_ISDIR(found.st_mode)))) {
        fail(error, exists(output));
        return nullptr;
    }
    staged->staged_ = std::make_unique<StagedFile>(staged->folder_);
    if (!staged->staged_->reserve()) {
        fail(error, cannotWrite("Cannot create a file in \"" + folderPath + "\"", errno));
        return nullptr;
    }
    staged->fd_ = ::openat(staged->folder_, staged->staged_->name().c_str(),
                           O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
    if (staged->fd_ < 0) {
        fail(error, cannotWrite("Cannot open a file in \"" + folderPath + "\"", errno));
        return nullptr;
    }
    // The temporary name is made private; the export is readable by all, as
    // a saved document is (reading the umask would change it for every thread).
    ::fchmod(staged->fd_, 0644);
    staged->path_ = folderPath + "/" + staged->staged_->name();
    return staged;
}

bool StagedOutput::place(Error* error) {
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0) return fail(error, cannotWrite("Cannot finish writing \"" + name_ + "\"", errno));
    const int result = staged_->place(name_, replace_);
    if (result == EEXIST || result == EISDIR) return fail(error, exists(name_));
    if (result != 0) return fail(error, cannotWrite("Cannot move the export to \"" + name_ + "\"", result));
    return true;
}

}  // namespace velarium::exporter
