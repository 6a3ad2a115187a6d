// A program's command run as a function on two string streams, for tests of
// its exit code, its output and its errors together.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace mapari::test_support {

struct CommandRun {
    int exit_code = 0;
    std::string out, errors;
};

// Runs the command with fresh streams for its output and its errors.
CommandRun run_command(const std::function<int(std::ostream& out, std::ostream& errors)>& command);

}  // namespace mapari::test_support
