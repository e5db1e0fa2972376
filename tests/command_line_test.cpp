// quillet --help and --version answer without a display and leave at once.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "support/Oracle.h"

namespace quillet {
namespace {

struct Answer {
    int exitCode = -1;
    QString out;
    QString err;
};

// The program as a user starts it on a machine with no display at all.
Answer RunWithoutDisplay(const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(test::BinDir() + "/quillet", args);
    Answer a;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return a;
    }
    a.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    a.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    a.err = QString::fromLocal8Bit(p.readAllStandardError());
    return a;
}

TEST(CommandLine, VersionPrintsTheBuildsVersionAndExits) {
    for (const char* option : {"--version", "-v"}) {
        SCOPED_TRACE(option);
        const Answer a = RunWithoutDisplay({option});
        EXPECT_EQ(a.exitCode, 0) << a.err.toStdString();
        EXPECT_EQ(a.out, QStringLiteral("quillet " QUILLET_PROJECT_VERSION "\n"));
        EXPECT_EQ(a.err, QString());
    }
}

TEST(CommandLine, HelpDescribesTheOptionsAndExits) {
    for (const char* option : {"--help", "-h"}) {
        SCOPED_TRACE(option);
        const Answer a = RunWithoutDisplay({option});
        EXPECT_EQ(a.exitCode, 0) << a.err.toStdString();
        EXPECT_TRUE(a.out.startsWith("Usage: " + test::BinDir() + "/quillet [options]\n"))
            << a.out.toStdString();
        EXPECT_TRUE(a.out.contains("--version"));
        EXPECT_TRUE(a.out.contains("--help"));
        EXPECT_TRUE(a.out.contains("MP3, WAV, WMA and OGG"));
        // Files named on the command line are not taken yet, so the help offers none.
        EXPECT_FALSE(a.out.contains("FILE"));
    }
    // Help wins over version when both are asked for, and Qt's own options are let through.
    const Answer both = RunWithoutDisplay({"-platform", "offscreen", "--version", "--help"});
    EXPECT_EQ(both.exitCode, 0);
    EXPECT_TRUE(both.out.startsWith("Usage: "));
}

}  // namespace
}  // namespace quillet
