// Runs a shell command line and collects its exit code and output.
#ifndef KIVO_TESTS_CLI_RUN_COMMAND_H
#define KIVO_TESTS_CLI_RUN_COMMAND_H

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>

struct CommandResult {
    int exitCode = -1;
    std::string out, err;
};

// The command runs under sh with stdout and stderr sent to files in scratch.
inline CommandResult runCommand(const std::string &command, const std::string &scratch) {
    const std::string outFile = scratch + "/.stdout", errFile = scratch + "/.stderr";
    const std::string line = "( " + command + " ) >'" + outFile + "' 2>'" + errFile + "'";
    const int status = std::system(line.c_str());
    CommandResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    auto slurp = [](const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    };
    result.out = slurp(outFile);
    result.err = slurp(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return result;
}

inline std::string quoted(const std::string &text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

#endif
