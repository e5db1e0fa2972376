// Shared main of the window test executables: the program's own application object on the
// offscreen platform, and a private home so that no test reads or writes the real user's settings
// or music folder.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>

#include "app/QuilletApplication.h"

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 1;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's own application object, so that errors thrown in handlers take its path.
    quillet::QuilletApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
