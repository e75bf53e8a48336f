#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "export/Exporter.h"
#include "platform/coremedia/MediaTime.h"

namespace velarium::tool {

struct InfoOptions {
    std::string file;
    bool json = false;
};

enum class FrameFormat { PNG, BGRA };

struct FramesOptions {
    std::string file;
    std::string output;  // a folder, or "-" for standard output
    FrameFormat format = FrameFormat::PNG;
    std::uint64_t from = 0;
    std::optional<std::uint64_t> count;  // to the last frame when absent
    unsigned jobs = 1;                   // decoding workers; 1 decodes on the main thread
    std::optional<MediaTime> cycleAt;    // time since colour cycling started; none: the frames as stored
};

inline constexpr unsigned kMaxFrameJobs = 16;

struct PlayOptions {
    std::string file;
    bool virtualClock = false;  // frames follow each other in virtual time, without waiting
};

struct ExtractOptions {
    std::string archive;
    std::string destination;  // beside the archive, named after it, when empty
    bool json = false;
    bool force = false;  // files already in the destination may be replaced
};

struct ConvertOptions {
    std::vector<std::string> inputs;  // animations, folders searched for them, LHA archives
    std::string output;               // a file for one animation, else a folder
    std::optional<exporter::ExportFormat> format;  // for one animation, from the output's name when absent
    exporter::ExportOptions exportOptions;         // format set once it is known
    unsigned jobs = 1;                             // animations converted at once
    bool json = false;
};

// What the command line asks for. When `exitStatus` is set, the command
// line has been fully handled already (help or usage printed, or a mistake
// reported) and the tool exits with that status.
struct CommandLine {
    enum class Command { None, Info, Frames, Play, Extract, Convert };
    Command command = Command::None;
    InfoOptions info;
    FramesOptions frames;
    PlayOptions play;
    ExtractOptions extract;
    ConvertOptions convert;
    std::optional<int> exitStatus;
};

CommandLine parseCommandLine(int argc, const char* const* argv);

// The name of standard output as an output folder.
inline constexpr const char* kStandardOutputName = "-";

}  // namespace velarium::tool
