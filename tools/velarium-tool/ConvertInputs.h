#pragma once

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "export/Exporter.h"

namespace velarium::tool {

// One animation to convert.
struct ConvertJob {
    std::string source;  // the file read (an archive's animations: inside a private folder)
    std::string name;    // as the user knows it: the path given or found, or ARCHIVE/ENTRY
    std::filesystem::path output;
};

// Something that could not be converted, or not even looked at.
struct ConvertFailure {
    std::string path;
    std::string reason;
};

// The animations of a collection: files named on the command line, the
// files with the ANIM signature in folders (searched recursively, without
// following links to folders), and the animations of LHA archives, named
// or found in folders. Archives are extracted into private temporary
// folders that live as long as this object. Outputs mirror the paths
// relative to each input, an archive's animations going under a folder
// named after the archive.
class CollectionInputs {
public:
    CollectionInputs(std::filesystem::path outputFolder, exporter::ExportFormat format,
                     const std::atomic<bool>& cancelled);
    ~CollectionInputs();
    CollectionInputs(const CollectionInputs&) = delete;
    CollectionInputs& operator=(const CollectionInputs&) = delete;

    void add(const std::string& input);

    const std::vector<ConvertJob>& jobs() const { return jobs_; }
    const std::vector<ConvertFailure>& failures() const { return failures_; }

private:
    void addFolder(const std::filesystem::path& folder, const std::filesystem::path& relative);
    void addArchive(const std::filesystem::path& archive, const std::filesystem::path& relative);
    void addJob(std::string source, std::string name, const std::filesystem::path& relative);

    std::filesystem::path outputFolder_;
    exporter::ExportFormat format_;
    const std::atomic<bool>& cancelled_;
    std::vector<ConvertJob> jobs_;
    std::vector<ConvertFailure> failures_;
    std::set<std::filesystem::path> outputs_;
    std::vector<std::filesystem::path> privateFolders_;
};

// True for an LHA archive: named .lha or .lzh (any case), or starting with
// an LHA header whatever its name. A folder never is.
bool isLHAArchive(const std::filesystem::path& path);

// The output's name for a source: its name with the format's extension in
// place of an animation extension (.anim, .animN, .iff), else added to it.
std::filesystem::path outputName(const std::filesystem::path& source, exporter::ExportFormat format);

}  // namespace velarium::tool
