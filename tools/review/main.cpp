// mapari-review: maps, review sheet and table of one session's results, or the
// maps of every recording of a batch analysis's results table.
#include <QGuiApplication>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "review_command.hpp"

namespace {

// Qt's own notes (a missing XDG_RUNTIME_DIR, font lookups) say nothing about the
// review, so the program prints its own lines alone; a fatal one still ends it.
void keep_qt_notes_to_itself(QtMsgType type, const QMessageLogContext&, const QString& note) {
    if (type != QtFatalMsg) return;
    std::cerr << "mapari-review: " << note.toStdString() << '\n';
    std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must fail the write that meets it (and be reported), not kill the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // Pictures are painted off screen unless another platform is asked for: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(keep_qt_notes_to_itself);
    // Qt sees only the program's name, so that no argument is taken as one of Qt's own.
    int qt_argc = 1;
    QGuiApplication application(qt_argc, argv);
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return mapari::review::run_review(arguments, std::cout, std::cerr);
}
