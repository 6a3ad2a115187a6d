// mapari-review: maps, review sheet and table of one session's results.
#include <QGuiApplication>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "review_command.hpp"

int main(int argc, char** argv) {
    // A file-size limit must fail the write that meets it (and be reported), not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Pictures are painted off screen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt sees only the program's name, so that no argument is taken as one of Qt's own.
    int qt_argc = 1;
    QGuiApplication application(qt_argc, argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return mapari::review::run_review(arguments, std::cout, std::cerr);
}
