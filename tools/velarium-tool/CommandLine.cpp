// Argument handling: the commands, their options, help and usage.
#include "tools/velarium-tool/CommandLine.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <optional>
#include <string_view>

#include "tools/velarium-tool/ToolError.h"

namespace velarium::tool {
namespace {

constexpr const char* kFormatPNG = "png";
constexpr const char* kFormatBGRA = "bgra";

// Frame indices and counts: plain decimal digits (the number parser would
// otherwise wrap "-1" round to a huge unsigned value).
std::string checkWholeNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return "expected a whole number, not " + text;
    return {};
}

std::string checkPositiveNumber(const std::string& text) {
    std::string problem = checkWholeNumber(text);
    if (problem.empty() && text.find_first_not_of('0') == std::string::npos) problem = "expected 1 or more";
    return problem;
}

std::string checkJobCount(const std::string& text) {
    std::string problem = checkPositiveNumber(text);
    if (!problem.empty()) return problem;
    const std::string digits = text.substr(text.find_first_not_of('0'));
    if (digits.size() > 2 || std::stoul(digits) > kMaxFrameJobs)
        problem = "expected at most " + std::to_string(kMaxFrameJobs);
    return problem;
}

// Seconds as plain decimals ("2", "0.25"), exact to the microsecond.
constexpr std::int32_t kMicroseconds = 1000000;
constexpr std::size_t kMaxWholeSecondDigits = 9;
constexpr std::size_t kMaxFractionDigits = 6;

std::optional<MediaTime> parseSeconds(const std::string& text) {
    const std::size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if ((whole.empty() && fraction.empty()) || whole.size() > kMaxWholeSecondDigits ||
        fraction.size() > kMaxFractionDigits || whole.find_first_not_of("0123456789") != std::string::npos ||
        fraction.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const std::int64_t seconds = whole.empty() ? 0 : std::stoll(whole);
    const std::int64_t micros = std::stoll((fraction + "000000").substr(0, kMaxFractionDigits));
    return MediaTime::make(seconds * kMicroseconds + micros, kMicroseconds);
}

std::string checkSeconds(const std::string& text) {
    return parseSeconds(text) ? std::string() : "expected seconds such as 2 or 0.25, not " + text;
}

// A mistake on the command line: one line, with a pointer to the help.
int usageMistake(const std::string& message, int status = kExitUsage) {
    std::fprintf(stderr, "velarium-tool: %s (see velarium-tool --help)\n", message.c_str());
    return status;
}

// A command run without its file: show how it is used.
int printUsage(const CLI::App& command, const std::string& parentName, int status = kExitUsage) {
    std::fputs(command.help(parentName).c_str(), stderr);
    return status;
}

// convert keeps 2 for "converted, but not everything", so its command-line
// mistakes end with 1 like every other case where nothing could be done.
bool isConvertCommand(int argc, const char* const* argv) {
    return argc > 1 && std::string_view(argv[1]) == "convert";
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine result;

    CLI::App app{"Facts, frames and conversions of Amiga IFF ANIM animations, and the LHA archives they come in.",
                 "velarium-tool"};
    app.require_subcommand(0, 1);
    app.footer("Run 'velarium-tool COMMAND --help' for the options of a command.");

    CLI::App* info = app.add_subcommand("info", "Print the animation's facts");
    info->add_option("FILE", result.info.file, "ANIM file")->type_name("");
    info->add_flag("--json", result.info.json, "Print the facts as one JSON object");

    CLI::App* frames = app.add_subcommand("frames", "Write the decoded frames, one file per frame");
    std::string format = kFormatPNG;
    std::uint64_t count = 0;
    frames->footer("Files are named frame_0000.png, frame_0001.png, ... by frame index. With -o - and\n"
                   "--format bgra, the frames go to standard output back to back instead.");
    frames->add_option("FILE", result.frames.file, "ANIM file")->type_name("");
    frames->add_option("-o,--output", result.frames.output,
                       "Folder for the frame files (created when missing), or - for standard output")
        ->type_name("DIR");
    frames->add_option("--format", format, "png (8-bit RGBA, the default) or bgra (4 bytes per pixel)")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({kFormatPNG, kFormatBGRA}));
    frames->add_option("--from", result.frames.from, "Index of the first frame to write (default 0)")
        ->type_name("N")
        ->check(CLI::Validator(checkWholeNumber, "", "whole number"));
    CLI::Option* countOption =
        frames->add_option("--count", count, "How many frames to write (default: up to the last frame)")
            ->type_name("M")
            ->check(CLI::Validator(checkPositiveNumber, "", "positive number"));
    frames->add_option("--jobs", result.frames.jobs,
                       "Frames decoded at once, each worker reading the file and going through every "
                       "delta on its own (default 1: one after another)")
        ->type_name("N")
        ->check(CLI::Validator(checkJobCount, "", "worker count"));
    std::string cycleAt;
    CLI::Option* cycleAtOption =
        frames->add_option("--cycle-at", cycleAt,
                           "Write each frame as it looks SECONDS after colour cycling started (its colour "
                           "ranges turned that far)")
            ->type_name("SECONDS")
            ->check(CLI::Validator(checkSeconds, "", "seconds"));

    CLI::App* play = app.add_subcommand("play", "Play the animation without showing it, printing each frame's time");
    play->footer("Each frame is printed as the player presents it, then the frames shown, late and\n"
                 "dropped and the total time. Playback takes as long as the animation does.");
    play->add_option("FILE", result.play.file, "ANIM file")->type_name("");
    play->add_flag("--virtual-clock", result.play.virtualClock,
                   "Run the player on a virtual clock: same times, no waiting");

    CLI::App* extract = app.add_subcommand("extract", "Extract an LHA archive into a folder");
    extract->footer("Lists what was not extracted (with the reason), the files already there that were left\n"
                    "alone, the symbolic links left out, a damaged archive's missing end, and the animations\n"
                    "found. Exit status 0 when everything was extracted, 2 when something was not, 1 when\n"
                    "nothing could be done.");
    extract->add_option("ARCHIVE", result.extract.archive, "LHA archive (.lha, .lzh)")->type_name("");
    extract->add_option("-o,--output", result.extract.destination,
                        "Folder to extract into, created when missing (default: the archive's name without\n"
                        "its extension, beside the archive)")
        ->type_name("DEST");
    extract->add_flag("--json", result.extract.json, "Print the outcome as one JSON object");
    extract->add_flag("--force", result.extract.force,
                      "Replace files already in DEST by the archive's (only by copies that pass their\n"
                      "checks); without it they are left alone and listed");

    CLI::App* convert = app.add_subcommand("convert", "Convert animations to APNG, WebP, GIF, WebM or MP4");
    std::string convertFormat;
    std::uint64_t convertCount = 0;
    exporter::ExportOptions& exportOptions = result.convert.exportOptions;
    convert->footer(
        "With one animation as INPUT, OUT is the file to write, in the format its extension names\n"
        "unless --format is given. Otherwise (several inputs, a folder, an archive, or OUT an existing\n"
        "folder) OUT is a folder: the animations found in the folders (by their contents, whatever\n"
        "their names) and in the archives are written there under their relative paths, an archive's\n"
        "under a folder named after it, each named after its source with the format's extension.\n"
        "Exit status 0 when everything was converted, 2 when something was not, 1 when nothing could\n"
        "be done (a mistake on the command line, no input, no animations).");
    convert->add_option("INPUT", result.convert.inputs, "ANIM files, folders holding them, LHA archives")
        ->type_name("");
    convert->add_option("-o,--output", result.convert.output, "The file to write, or the folder for a collection")
        ->type_name("OUT");
    convert->add_option("--format", convertFormat, "apng, webp, gif, webm or mp4 (needed for a collection)")
        ->type_name("FORMAT")
        ->check(CLI::IsMember({"apng", "webp", "gif", "webm", "mp4"}));
    convert->add_option("--scale", exportOptions.scale,
                        "Whole factor for both axes, nearest neighbour (default 1; for video the largest\n"
                        "that keeps the picture within 1920x1080)")
        ->type_name("N")
        ->check(CLI::Validator(checkPositiveNumber, "", "positive number"));
    convert->add_flag("--aspect", exportOptions.correctAspect, "Correct the pixel aspect with whole factors");
    convert->add_option("--from", exportOptions.from, "Index of the first frame (default 0)")
        ->type_name("N")
        ->check(CLI::Validator(checkWholeNumber, "", "whole number"));
    CLI::Option* convertCountOption =
        convert->add_option("--count", convertCount, "How many frames (default: up to the last frame)")
            ->type_name("M")
            ->check(CLI::Validator(checkPositiveNumber, "", "positive number"));
    convert->add_flag("--cycle-colours", exportOptions.cycleColours,
                      "Bake the file's colour cycling in: a picture at every cycle step as well");
    convert->add_flag("--once", exportOptions.once, "Play APNG, WebP and GIF once instead of looping forever");
    convert->add_flag("--force", exportOptions.replace, "Replace files already there");
    convert->add_option("--jobs", result.convert.jobs, "Animations converted at once (default 1)")
        ->type_name("N")
        ->check(CLI::Validator(checkJobCount, "", "worker count"));
    convert->add_flag("--json", result.convert.json, "Print the outcome as one JSON object");

    const int mistakeStatus = isConvertCommand(argc, argv) ? kExitFailure : kExitUsage;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        result.exitStatus = app.exit(help);
        return result;
    } catch (const CLI::ParseError& mistake) {
        result.exitStatus = usageMistake(mistake.what(), mistakeStatus);
        return result;
    }

    if (info->parsed()) {
        result.command = CommandLine::Command::Info;
        if (result.info.file.empty()) result.exitStatus = printUsage(*info, app.get_name());
    } else if (frames->parsed()) {
        result.command = CommandLine::Command::Frames;
        result.frames.format = format == kFormatBGRA ? FrameFormat::BGRA : FrameFormat::PNG;
        if (countOption->count() > 0) result.frames.count = count;
        if (cycleAtOption->count() > 0) result.frames.cycleAt = parseSeconds(cycleAt);
        if (result.frames.file.empty())
            result.exitStatus = printUsage(*frames, app.get_name());
        else if (result.frames.output.empty())
            result.exitStatus = usageMistake("frames needs -o DIR, or -o - with --format bgra");
        else if (result.frames.output == kStandardOutputName && result.frames.format != FrameFormat::BGRA)
            result.exitStatus = usageMistake("only --format bgra can be written to standard output (-o -)");
    } else if (play->parsed()) {
        result.command = CommandLine::Command::Play;
        if (result.play.file.empty()) result.exitStatus = printUsage(*play, app.get_name());
    } else if (extract->parsed()) {
        result.command = CommandLine::Command::Extract;
        if (result.extract.archive.empty()) result.exitStatus = printUsage(*extract, app.get_name());
    } else if (convert->parsed()) {
        result.command = CommandLine::Command::Convert;
        if (!convertFormat.empty()) result.convert.format = exporter::formatNamed(convertFormat);
        if (convertCountOption->count() > 0) exportOptions.count = convertCount;
        if (result.convert.inputs.empty())
            result.exitStatus = printUsage(*convert, app.get_name(), kExitFailure);
        else if (result.convert.output.empty())
            result.exitStatus = usageMistake("convert needs -o OUT", kExitFailure);
    } else {
        result.exitStatus = printUsage(app, "");
    }
    return result;
}

}  // namespace velarium::tool
