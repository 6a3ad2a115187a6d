// mapari-batch: see batch_command.hpp.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "app/batch_command.hpp"
#include "app/command_options.hpp"

int main(int argc, char** argv) {
    mapari::fail_writes_at_the_file_size_limit();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return mapari::run_batch_command(arguments, std::cout, std::cerr, ::isatty(2) == 1);
}
