#pragma once

#include <string>

extern "C" {
#include <lhasa.h>
}

namespace velarium {

// The process's file mode creation mask, read from /proc/self/status: unlike
// umask(2), reading it there changes nothing that another thread could see
// half-way. 077 when it cannot be read (nothing is extracted then anyway,
// since files are handed to lhasa through /proc).
unsigned processUmask();

// The mode an extracted file gets for an archived mode: its permission bits
// only, with read and write for the owner, then narrowed by `umask` as any
// file a program creates for the user is.
unsigned extractedFileMode(unsigned archivedMode, unsigned umask);

// Changes the current entry's header before lhasa writes it: the archived
// mode becomes extractedFileMode (lhasa applies it with fchmod, which the
// umask does not narrow), and the archived owner and group are dropped.
void limitArchivedMetadata(LHAFileHeader* header, unsigned umask);

// After lhasa has written the file `name` in `folder`: puts its permissions
// right should they still differ from what extractedFileMode allows, and
// answers whether it starts with the ANIM signature. A link or anything but
// a regular file there is left alone and is no animation.
bool settleExtractedFile(int folder, const std::string& name, unsigned umask);

}  // namespace velarium
