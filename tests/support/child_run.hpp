// Work run in a child process, for tests of what the program does when the
// system refuses it something (a file-size limit, a resource) that the test
// process itself must keep.
#pragma once

#include <functional>
#include <string>

namespace mapari::test_support {

struct ChildRun {
    int exit_code = -1;  // -1 when the child did not exit by itself (a signal killed it)
    std::string said;    // the text the work gave back
};

// Forks; the child ignores SIGXFSZ (a write past a file-size limit then fails
// instead of killing it), runs `work`, which returns its exit code and puts
// in `said` what the test wants back, sends that through a pipe and exits.
ChildRun run_in_child(const std::function<int(std::string& said)>& work);

}  // namespace mapari::test_support
