// What an extracted file may keep of its archived metadata.
#include "lha/ExtractedFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "lha/ANIMSignature.h"
#include "lha/FileDescriptor.h"

namespace velarium {
namespace {

constexpr unsigned kPermissionBits = 0777;
constexpr unsigned kOwnerReadWrite = 0600;

unsigned limitedMode(unsigned mode) { return (mode & kPermissionBits) | kOwnerReadWrite; }

}  // namespace

void limitArchivedMetadata(LHAFileHeader* header) {
    if (LHA_FILE_HAVE_EXTRA(header, LHA_FILE_UNIX_PERMS)) header->unix_perms = limitedMode(header->unix_perms);
    // As root, lhasa would hand each file to the user and group numbers in
    // the archive: on this machine those name whoever has them here, who
    // could then rewrite files in the user's folder. Files belong to the
    // user who extracts them, as they do for everyone else.
    header->extra_flags &= ~static_cast<unsigned>(LHA_FILE_UNIX_UID_GID);
}

bool settleExtractedFile(int folder, const std::string& name) {
    const FileDescriptor file(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.valid()) return false;
    struct stat written {};
    if (::fstat(file.get(), &written) != 0 || !S_ISREG(written.st_mode)) return false;
    const unsigned mode = written.st_mode & 07777;
    if (mode != limitedMode(mode)) ::fchmod(file.get(), limitedMode(mode));
    return hasANIMSignature(file.get());
}

}  // namespace velarium
