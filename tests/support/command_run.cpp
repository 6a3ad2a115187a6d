#include "support/command_run.hpp"

#include <sstream>

namespace mapari::test_support {

CommandRun run_command(const std::function<int(std::ostream& out, std::ostream& errors)>& command) {
    std::ostringstream out, errors;
    CommandRun run;
    run.exit_code = command(out, errors);
    run.out = out.str();
    run.errors = errors.str();
    return run;
}

}  // namespace mapari::test_support
