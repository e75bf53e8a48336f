#pragma once

#include <string>

extern "C" {
#include <lhasa.h>
}

namespace velarium {

// Changes the current entry's header before lhasa writes it: the archived
// permission bits stay, but without setuid, setgid or sticky bit and with
// read and write for the owner; the archived owner and group are dropped.
void limitArchivedMetadata(LHAFileHeader* header);

// After lhasa has written the file `name` in `folder`: puts its permissions
// right should they still carry a special bit or lack the owner's read and
// write, and answers whether it starts with the ANIM signature. A link or
// anything but a regular file there is left alone and is no animation.
bool settleExtractedFile(int folder, const std::string& name);

}  // namespace velarium
