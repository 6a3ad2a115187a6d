#include "support/child_run.hpp"

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

namespace mapari::test_support {

ChildRun run_in_child(const std::function<int(std::string& said)>& work) {
    int channel[2];
    if (::pipe(channel) != 0) return {-1, "no pipe"};
    const pid_t child = ::fork();
    if (child == -1) return {-1, "no child"};
    if (child == 0) {
        ::close(channel[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        std::string said;
        const int code = work(said);
        for (std::size_t sent = 0; sent < said.size();) {
            const ssize_t n = ::write(channel[1], said.data() + sent, said.size() - sent);
            if (n <= 0) ::_exit(100);
            sent += static_cast<std::size_t>(n);
        }
        ::_exit(code);
    }
    ::close(channel[1]);
    ChildRun run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        run.said.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    if (::waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exit_code = WEXITSTATUS(status);
    return run;
}

}  // namespace mapari::test_support
