#pragma once

#include <memory>
#include <string>

#include "lha/StagedFile.h"
#include "platform/foundation/Error.h"

namespace velarium::exporter {

// The output of one export: a temporary file in the output's folder, open
// for writing, moved to the output's name only by place(). Destroyed
// unplaced, it removes the temporary file, so a failed or cancelled export
// leaves nothing behind.
class StagedOutput {
public:
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Null with kExportErrorExists when something stands at `output` and
    // `replace` is false (or a folder stands there), and with
    // kExportErrorCannotWrite when the folder cannot take a new file.
    static std::unique_ptr<StagedOutput> create(const std::string& output, bool replace, Error* error);

    int fd() const { return fd_; }
    // The temporary file's path.
    const std::string& path() const { return path_; }
    // Closes the file and moves it to the output's name.
    bool place(Error* error);

private:
    StagedOutput() = default;

    int folder_ = -1;
    std::unique_ptr<StagedFile> staged_;
    int fd_ = -1;
    std::string name_;
    std::string path_;
    bool replace_ = false;
};

}  // namespace velarium::exporter
