// mapari-review: maps, review sheet and table of one session's results, or the
// maps of every recording of a batch analysis's results table.
#include "desktop/review_command.hpp"

int main(int argc, char** argv) {
    return mapari::review::review_program(argc, argv);
}
