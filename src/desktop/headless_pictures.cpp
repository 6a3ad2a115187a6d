#include "desktop/headless_pictures.hpp"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>

#include "desktop/snapshots.hpp"

namespace mapari::qt {

int run_headless_with_snapshots(std::istream& script, std::ostream& transcript,
                                std::ostream& errors, SessionFiles files,
                                const std::string& snapshot_directory) {
    if (!QDir().mkpath(QString::fromStdString(snapshot_directory))) {
        errors << "mapari: cannot create the picture folder " << snapshot_directory << '\n';
        return exit_failure;
    }
    // Pictures need no display: the offscreen platform paints in memory.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt wants a private runtime folder; a session without one gets a temporary one.
    QTemporaryDir runtime_folder;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime_folder.isValid())
        qputenv("XDG_RUNTIME_DIR", runtime_folder.path().toUtf8());
    int argc = 1;
    char name[] = "mapari";
    char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);
    SnapshotWriter writer(snapshot_directory, snapshot_scale);
    bool failed = false;
    files.on_trace_wait = [&](const WindowModel& windows) {
        if (!writer.write(windows) && !failed) {
            failed = true;
            errors << "mapari: cannot write pictures to " << snapshot_directory << '\n';
        }
    };
    return run_headless_session(script, transcript, errors, files);
}

}  // namespace mapari::qt
