// Where the program finds its skin library and manual: beside itself in the build tree, in the
// share folder once installed. The install is the real one, made by cmake --install.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include "common/ProgramFiles.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

void Touch(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}

class ProgramFilesLookup : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        // No system data folder may answer for the cases below.
        savedDataDirs_ = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_DIRS", Path("data").toUtf8());
    }
    void TearDown() override { qputenv("XDG_DATA_DIRS", savedDataDirs_); }

    QString Path(const QString& relative) const { return dir_.filePath(relative); }

    QTemporaryDir dir_;
    QByteArray savedDataDirs_;
};

TEST_F(ProgramFilesLookup, BesideTheProgramComesFirstThenTheInstalledShareFolder) {
    const QString bin = Path("usr/bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString skin = "quilletskin.dll";
    const QString help = "help/quillet.html";

    // Nowhere: the place beside the program, for the message that it is missing.
    EXPECT_EQ(FindProgramFile(skin, bin), bin + "/quilletskin.dll");
    EXPECT_EQ(FindProgramFile(help, bin), bin + "/help/quillet.html");

    Touch(Path("usr/share/quillet/quilletskin.dll"));
    Touch(Path("usr/share/quillet/help/quillet.html"));
    EXPECT_EQ(FindProgramFile(skin, bin), Path("usr/share/quillet/quilletskin.dll"));
    EXPECT_EQ(FindProgramFile(help, bin), Path("usr/share/quillet/help/quillet.html"));

    // A build tree or a copied folder keeps its own files beside the program.
    Touch(bin + "/quilletskin.dll");
    Touch(bin + "/help/quillet.html");
    EXPECT_EQ(FindProgramFile(skin, bin), bin + "/quilletskin.dll");
    EXPECT_EQ(FindProgramFile(help, bin), bin + "/help/quillet.html");
}

TEST_F(ProgramFilesLookup, TheSystemDataFoldersAnswerLastAndAFolderIsNoFile) {
    const QString bin = Path("opt/quillet/bin");
    Touch(Path("data/quillet/help/quillet.html"));
    EXPECT_EQ(FindProgramFile("help/quillet.html", bin), Path("data/quillet/help/quillet.html"));

    // A folder of the file's name does not count.
    ASSERT_TRUE(QDir().mkpath(Path("opt/quillet/share/quillet/quilletskin.dll")));
    EXPECT_EQ(FindProgramFile("quilletskin.dll", bin), bin + "/quilletskin.dll");

    const QStringList folders = ProgramFileFolders(bin);
    ASSERT_GE(folders.size(), 3);
    EXPECT_EQ(folders[0], bin);
    EXPECT_EQ(folders[1], Path("opt/quillet/share/quillet"));
    EXPECT_EQ(folders.last(), Path("data/quillet"));
}

TEST(ProgramFilesOfTheBuild, TheTestsOwnFolderHoldsTheSkinAndTheManual) {
    EXPECT_EQ(SkinLibraryPath(), test::BinDir() + "/quilletskin.dll");
    EXPECT_EQ(HelpFilePath(), test::BinDir() + "/help/quillet.html");
    EXPECT_TRUE(QFileInfo(SkinLibraryPath()).isFile());
    EXPECT_TRUE(QFileInfo(HelpFilePath()).isFile());
}

// The build installed into a fresh prefix, as a package would lay it out.
class InstalledProgram : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        prefix_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(prefix_->isValid());
        const test::ToolResult r = test::RunTool(
            QStringLiteral(QUILLET_CMAKE_COMMAND),
            {"--install", QStringLiteral(QUILLET_BUILD_DIR), "--prefix", prefix_->path()});
        ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
    }
    static void TearDownTestSuite() { prefix_.reset(); }

    static QString Installed(const QString& relative) { return prefix_->filePath(relative); }

    // The installed program on the offscreen platform with a settings folder of its own.
    static void Start(QProcess& p, const QString& configHome) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", configHome);
        p.setProcessEnvironment(env);
        p.start(Installed("bin/quillet"), {});
    }

    static inline std::unique_ptr<QTemporaryDir> prefix_;
};

TEST_F(InstalledProgram, FindsItsSkinAndManualInTheShareFolder) {
    const QString bin = Installed("bin");
    EXPECT_FALSE(QFileInfo::exists(bin + "/quilletskin.dll"));
    EXPECT_EQ(FindProgramFile("quilletskin.dll", bin), Installed("share/quillet/quilletskin.dll"));
    EXPECT_EQ(FindProgramFile("help/quillet.html", bin),
              Installed("share/quillet/help/quillet.html"));
    EXPECT_TRUE(QFileInfo(Installed("share/quillet/quilletskin.dll")).isFile());
    EXPECT_TRUE(QFileInfo(Installed("share/quillet/help/quillet.html")).isFile());
    EXPECT_TRUE(QFileInfo(Installed("bin/quillet-engine")).isExecutable());

    const test::ToolResult version = test::RunTool(Installed("bin/quillet"), {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "quillet " QUILLET_PROJECT_VERSION "\n");
}

TEST_F(InstalledProgram, StartsWithTheInstalledSkinAndNamesItsPlaceWhenItIsGone) {
    // A start-up that cannot load its skin ends at once with exit code 1; one that did is still
    // running in its event loop a few seconds later.
    QTemporaryDir config;
    QProcess running;
    Start(running, config.path());
    EXPECT_FALSE(running.waitForFinished(5000)) << running.readAllStandardError().toStdString();
    running.kill();
    running.waitForFinished();

    const QString skin = Installed("share/quillet/quilletskin.dll");
    ASSERT_TRUE(QFile::rename(skin, skin + ".away"));
    QProcess failing;
    Start(failing, config.path());
    EXPECT_TRUE(failing.waitForFinished(60000));
    EXPECT_EQ(failing.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(failing.readAllStandardError());
    EXPECT_TRUE(err.contains("Quillet cannot start")) << err.toStdString();
    EXPECT_TRUE(err.contains(Installed("bin/quilletskin.dll"))) << err.toStdString();
    ASSERT_TRUE(QFile::rename(skin + ".away", skin));
}

}  // namespace
}  // namespace quillet
