#pragma once

#include <string>

namespace velarium {

// A file written under a temporary name in its folder and moved to its own
// name only when asked, so that a copy that failed its checks never takes
// the place of what the user had. The temporary name is created and moved
// relative to the folder's handle, following no link; it is removed when
// the object goes unless the file was placed, so none outlives its entry.
class StagedFile {
public:
    explicit StagedFile(int folder) : folder_(folder) {}
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates an empty file under a fresh temporary name (".velarium-" and
    // random letters), exclusively. False when no name could be made.
    bool reserve();
    const std::string& name() const { return name_; }
    // Whether a regular file stands at the temporary name.
    bool holdsFile() const;

    // Moves the file to `name`: over whatever file or link is there when
    // `replace` is true, else only when nothing is. 0 on success, or the
    // system's error (EEXIST: something was there; EISDIR: a folder is).
    int place(const std::string& name, bool replace);

private:
    int folder_;
    std::string name_;
    bool placed_ = false;
};

}  // namespace velarium
