// mapari-validate: see validate_command.hpp.
#include <iostream>
#include <string>
#include <vector>

#include "app/command_options.hpp"
#include "app/validate_command.hpp"

int main(int argc, char** argv) {
    mapari::fail_writes_at_the_file_size_limit();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return mapari::run_validate_command(arguments, std::cout, std::cerr);
}
