#pragma once

// Runs the built velarium-tool (or another program) as a child process and
// collects what it wrote and how it ended.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/TemporaryFolder.h"

extern char** environ;

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
    bool exitedNormally = false;  // false when a signal ended it
    int exitStatus = -1;
    std::string standardOutput;
    std::string standardError;

    std::vector<std::string> errorLines() const { return splitLines(standardError); }
};

inline std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs `program` with `arguments`; its standard output and error go through
// files, so that neither can fill a pipe and stall it.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    TemporaryFolder capture;
    const std::string outPath = (capture / "stdout").string();
    const std::string errPath = (capture / "stderr").string();

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    ProgramRun run;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        run.standardError = "could not start " + program;
        return run;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitedNormally = WIFEXITED(status);
    run.exitStatus = run.exitedNormally ? WEXITSTATUS(status) : -1;
    run.standardOutput = readWholeFile(outPath);
    run.standardError = readWholeFile(errPath);
    return run;
}

inline ProgramRun runTool(const std::vector<std::string>& arguments) {
    return runProgram(VELARIUM_TOOL_PATH, arguments);
}

// A failure: the exit status, nothing on standard output, and one line on
// standard error, "velarium-tool: FILE: ...", that holds `message`.
inline void expectOneErrorLine(const ProgramRun& run, int status, const std::string& file, const std::string& message) {
    EXPECT_TRUE(run.exitedNormally);
    EXPECT_EQ(run.exitStatus, status);
    EXPECT_EQ(run.standardOutput, "");
    const auto lines = run.errorLines();
    ASSERT_EQ(lines.size(), 1u) << run.standardError;
    EXPECT_EQ(lines[0].rfind("velarium-tool: " + file + ": ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(message), std::string::npos) << lines[0];
}

}  // namespace velarium::testing
