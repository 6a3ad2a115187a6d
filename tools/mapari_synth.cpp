// mapari-synth: writes a synthetic map recording with known beats and
// activation and recovery times, for testing the analysis end to end.
#include <iostream>
#include <string>
#include <vector>

#include "app/command_options.hpp"
#include "app/synth_command.hpp"

int main(int argc, char** argv) {
    mapari::fail_writes_at_the_file_size_limit();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return mapari::synth::run_command(arguments, std::cout, std::cerr);
}
