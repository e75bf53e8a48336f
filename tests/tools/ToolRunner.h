#pragma once

// Runs the built velarium-tool (or another program) as a child process and
// collects what it wrote and how it ended.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/Corpus.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {

// The bundled demo animation: 320 × 200 pixels, 36 frames.
inline const std::string kDemo = VELARIUM_DEMO_FILE;

inline std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct ProgramRun {
    int exitStatus = -1;  // -1 when a signal ended it
    std::string standardOutput, standardError;

    std::vector<std::string> errorLines() const { return splitLines(standardError); }
};

// Runs `program` with `arguments` through the shell, reading nothing; its
// output and errors go through files, so that neither can fill a pipe and stall it.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    const auto quoted = [](const std::string& word) {
        std::string out = "'";
        for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return out + "'";
    };
    TemporaryFolder capture;
    std::string command = quoted(program);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " </dev/null >" + quoted(capture / "out") + " 2>" + quoted(capture / "err");
    const int status = std::system(command.c_str());
    // A shell that outlives the program reports a signal as a status over 128.
    const bool exited = WIFEXITED(status) && WEXITSTATUS(status) < 128;
    return {exited ? WEXITSTATUS(status) : -1, readWholeFile(capture / "out"), readWholeFile(capture / "err")};
}

inline ProgramRun runTool(const std::vector<std::string>& arguments) {
    return runProgram(VELARIUM_TOOL_PATH, arguments);
}

}  // namespace velarium::testing
