// Writing under a temporary name, then renaming into place.
#include "lha/StagedFile.h"

#include <fcntl.h>
#include <stdio.h>  // renameat2
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace velarium {
namespace {

constexpr const char* kPrefix = ".velarium-";
constexpr int kRandomLetters = 8;
constexpr int kAttempts = 64;

std::string randomName() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<int> pick(0, sizeof kLetters - 2);
    std::string name = kPrefix;
    for (int i = 0; i < kRandomLetters; ++i) name += kLetters[pick(generator)];
    return name;
}

}  // namespace

StagedFile::~StagedFile() {
    if (!name_.empty() && !placed_) ::unlinkat(folder_, name_.c_str(), 0);
}

bool StagedFile::reserve() {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::string candidate = randomName();
        const int fd = ::openat(folder_, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            name_ = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool StagedFile::holdsFile() const {
    struct stat found {};
    return !name_.empty() && ::fstatat(folder_, name_.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISREG(found.st_mode);
}

int StagedFile::place(const std::string& name, bool replace) {
    int result = ::renameat2(folder_, name_.c_str(), folder_, name.c_str(), replace ? 0 : RENAME_NOREPLACE);
    // A file system without RENAME_NOREPLACE: a hard link is made only where
    // nothing is, just as atomically.
    if (result != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        result = ::linkat(folder_, name_.c_str(), folder_, name.c_str(), 0);
        if (result == 0) ::unlinkat(folder_, name_.c_str(), 0);
    }
    if (result != 0) return errno;
    placed_ = true;
    return 0;
}

}  // namespace velarium
