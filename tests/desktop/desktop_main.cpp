// The desktop tests run their widgets in one QApplication on the offscreen
// platform, with settings kept in a folder of their own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

#include "desktop/desktop_program.hpp"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Frame geometry and zoom are remembered; tests must not read or change the user's.
    QTemporaryDir settings_folder;
    qputenv("XDG_CONFIG_HOME", settings_folder.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", settings_folder.path().toUtf8());
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("mapari-tests"));
    QApplication::setApplicationName(QStringLiteral("test_desktop"));
    mapari::qt::use_dialogue_font(mapari::Language::japanese);
    return RUN_ALL_TESTS();
}
