// mapari-validate: see validate_command.hpp.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "app/validate_command.hpp"

int main(int argc, char** argv) {
    // A file-size limit must fail the write that meets it (and be reported), not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return mapari::run_validate_command(arguments, std::cout, std::cerr);
}
