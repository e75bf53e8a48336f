// What an extracted file may keep of its archived metadata.
#include "lha/ExtractedFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include "lha/ANIMSignature.h"
#include "lha/FileDescriptor.h"

namespace velarium {
namespace {

constexpr unsigned kPermissionBits = 0777;
constexpr unsigned kOwnerReadWrite = 0600;
constexpr unsigned kUnreadableUmask = 077;

}  // namespace

unsigned processUmask() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) != 0) continue;
        try {
            return static_cast<unsigned>(std::stoul(line.substr(6), nullptr, 8)) & kPermissionBits;
        } catch (const std::exception&) {
            break;
        }
    }
    return kUnreadableUmask;
}

unsigned extractedFileMode(unsigned archivedMode, unsigned umask) {
    return ((archivedMode & kPermissionBits) | kOwnerReadWrite) & ~umask;
}

void limitArchivedMetadata(LHAFileHeader* header, unsigned umask) {
    if (LHA_FILE_HAVE_EXTRA(header, LHA_FILE_UNIX_PERMS))
        header->unix_perms = extractedFileMode(header->unix_perms, umask);
    // As root, lhasa would hand each file to the user and group numbers in
    // the archive: on this machine those name whoever has them here, who
    // could then rewrite files in the user's folder. Files belong to the
    // user who extracts them, as they do for everyone else.
    header->extra_flags &= ~static_cast<unsigned>(LHA_FILE_UNIX_UID_GID);
}

bool settleExtractedFile(int folder, const std::string& name, unsigned umask) {
    const FileDescriptor file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return false;
    struct stat written {};
    if (::fstat(file.get(), &written) != 0 || !S_ISREG(written.st_mode)) return false;
    const unsigned mode = written.st_mode & 07777;
    if (mode != extractedFileMode(mode, umask)) ::fchmod(file.get(), extractedFileMode(mode, umask));
    return hasANIMSignature(file.get());
}

}  // namespace velarium
