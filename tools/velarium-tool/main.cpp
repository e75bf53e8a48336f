// velarium-tool: the command-line face of the ANIM decoding core, of the
// playback road through the two extensions, of archive extraction, and of
// the exporter.
#include <cstdio>
#include <new>

#include "tools/velarium-tool/CommandLine.h"
#include "tools/velarium-tool/ConvertCommand.h"
#include "tools/velarium-tool/ExtractCommand.h"
#include "tools/velarium-tool/FramesCommand.h"
#include "tools/velarium-tool/InfoCommand.h"
#include "tools/velarium-tool/PlayCommand.h"
#include "tools/velarium-tool/ToolError.h"

int main(int argc, char** argv) {
    using namespace velarium::tool;
    const CommandLine commandLine = parseCommandLine(argc, argv);
    if (commandLine.exitStatus) return *commandLine.exitStatus;
    try {
        switch (commandLine.command) {
            case CommandLine::Command::Info: return runInfoCommand(commandLine.info);
            case CommandLine::Command::Frames: return runFramesCommand(commandLine.frames);
            case CommandLine::Command::Play: return runPlayCommand(commandLine.play);
            case CommandLine::Command::Extract: return runExtractCommand(commandLine.extract);
            case CommandLine::Command::Convert: return runConvertCommand(commandLine.convert);
            case CommandLine::Command::None: break;
        }
    } catch (const std::bad_alloc&) {
        // The one failure no layer below can turn into an error record.
        std::fputs("velarium-tool: out of memory\n", stderr);
        return kExitFailure;
    }
    return kExitUsage;
}
