// quillet --help and --version answer without a display and leave at once; files named on
// the command line become the list's rows, in the first start's window; the list kept between
// runs survives the program's being killed at any moment.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

#include "support/Oracle.h"
#include "tracks/SessionFile.h"

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
        EXPECT_TRUE(
            a.out.startsWith("Usage: " + test::BinDir() + "/quillet [options] [FILE|FOLDER...]\n"))
            << a.out.toStdString();
        EXPECT_TRUE(a.out.contains("--version"));
        EXPECT_TRUE(a.out.contains("--help"));
        EXPECT_TRUE(a.out.contains("MP3, WAV, WMA and OGG"));
        // Files and folders named on the command line are added to the list.
        EXPECT_TRUE(a.out.contains("sub-folders"));
    }
    // Help wins over version when both are asked for, and Qt's own options are let through.
    const Answer both = RunWithoutDisplay({"-platform", "offscreen", "--version", "--help"});
    EXPECT_EQ(both.exitCode, 0);
    EXPECT_TRUE(both.out.startsWith("Usage: "));
}

// The real program on the offscreen platform, with a home, a state folder and a runtime folder
// of its own.
class RunningProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir().mkpath(Path("run")));
        ::chmod(QFile::encodeName(Path("run")).constData(), 0700);
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", Path("home"));
        env_.insert("XDG_CONFIG_HOME", Path("config"));
        env_.insert("XDG_STATE_HOME", Path("state"));
        env_.insert("XDG_RUNTIME_DIR", Path("run"));
        env_.insert("QT_QPA_PLATFORM", "offscreen");
    }
    void TearDown() override {
        for (auto& p : started_) Kill(*p);
    }

    QString Path(const QString& relative) const { return dir_.filePath(relative); }
    SessionFile Session() const { return SessionFile(Path("state/quillet/session.json")); }

    QProcess& Start(const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env_);
        p->setWorkingDirectory(dir_.path());
        p->start(test::BinDir() + "/quillet", args);
        EXPECT_TRUE(p->waitForStarted(30000));
        started_.push_back(std::move(p));
        return *started_.back();
    }
    static void Kill(QProcess& p) {
        if (p.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
        p.waitForFinished(30000);
    }

    // The list as the running program keeps it, once it has the given number of rows.
    std::optional<quillet::Session> WaitForRows(size_t rows) {
        std::optional<quillet::Session> kept;
        const bool there = QTest::qWaitFor(
            [&] {
                kept = Session().Read();
                return kept && kept->rows.size() == rows;
            },
            60000);
        return there ? kept : std::nullopt;
    }

    QTemporaryDir dir_;
    QProcessEnvironment env_;
    std::vector<std::unique_ptr<QProcess>> started_;
};

void ExpectWholeFile(const SessionRow& row, const QString& path, int64_t frames, int seconds) {
    SCOPED_TRACE(path.toStdString());
    EXPECT_EQ(row.record.FilePath, path);
    EXPECT_EQ(row.caption, QFileInfo(path).fileName());
    EXPECT_EQ(row.record.LengthPos, frames);
    EXPECT_EQ(row.record.LengthSec, seconds);
    EXPECT_EQ(row.record.StartPos, 0);
    EXPECT_EQ(row.record.EndPos, frames);
    EXPECT_EQ(row.record.StartSec, 0);
    EXPECT_EQ(row.record.EndSec, seconds);
}

TEST_F(RunningProgramTest, NamedFilesBecomeRowsAndALaterStartHandsItsFilesOver) {
    QDir().mkpath(Path("sub"));
    QDir().mkpath(Path("folder/inner"));
    test::MakeTone(Path("a.mp3"), 88200, 44100, 2, {"-c:a", "libmp3lame", "-b:a", "128k"});
    test::MakeTone(Path("sub/b.wav"), 132300, 44100, 2, {"-c:a", "pcm_s16le"});
    test::MakeTone(Path("folder/c.ogg"), 44100, 44100, 1, {"-c:a", "libvorbis"});
    test::MakeTone(Path("folder/inner/d.wav"), 22050, 22050, 1, {"-c:a", "pcm_s16le"});
    QFile text(Path("folder/notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not audio\n");
    text.close();
    // What ffmpeg decodes of the MP3, its encoder's delay and padding left out.
    const auto mp3Frames = static_cast<int64_t>(test::DecodeWithFfmpeg(Path("a.mp3")).size() / 2);
    ASSERT_GT(mp3Frames, 0);

    // Relative to where it was started.
    QProcess& first = Start({"a.mp3", "sub/b.wav"});
    auto kept = WaitForRows(2);
    ASSERT_TRUE(kept) << first.readAllStandardError().toStdString();
    ExpectWholeFile(kept->rows[0], Path("a.mp3"), mp3Frames, 2);
    ExpectWholeFile(kept->rows[1], Path("sub/b.wav"), 132300, 3);

    // A later start hands its folder over and ends; the folder's audio files, those of its
    // sub-folder too, join the first window's list.
    QProcess& later = Start({Path("folder")});
    ASSERT_TRUE(later.waitForFinished(60000));
    EXPECT_EQ(later.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(later.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    kept = WaitForRows(4);
    ASSERT_TRUE(kept);
    const QSet<QString> scanned{kept->rows[2].record.FilePath, kept->rows[3].record.FilePath};
    EXPECT_EQ(scanned, QSet<QString>({Path("folder/c.ogg"), Path("folder/inner/d.wav")}));

    // The first one dies without a word: the next start takes its place, brings the list back
    // and adds its own file after it.
    Kill(first);
    test::MakeTone(Path("e.wav"), 44100, 44100, 2, {"-c:a", "pcm_s16le"});
    QProcess& next = Start({"e.wav"});
    kept = WaitForRows(5);
    ASSERT_TRUE(kept) << next.readAllStandardError().toStdString();
    ExpectWholeFile(kept->rows[0], Path("a.mp3"), mp3Frames, 2);
    ExpectWholeFile(kept->rows[1], Path("sub/b.wav"), 132300, 3);
    ExpectWholeFile(kept->rows[4], Path("e.wav"), 44100, 1);
    EXPECT_EQ(next.state(), QProcess::Running);
}

// Killed while it adds and writes, again and again: the session file is always a whole list.
TEST_F(RunningProgramTest, KilledAtAnyMomentTheKeptListIsWhole) {
    test::MakeTone(Path("tone.wav"), 4410, 44100, 1, {"-c:a", "pcm_s16le"});
    QStringList files;
    for (int i = 0; i < 40; ++i) {
        const QString copy = Path(QStringLiteral("t%1.wav").arg(i, 2, 10, QChar('0')));
        ASSERT_TRUE(QFile::copy(Path("tone.wav"), copy));
        files << copy;
    }
    const QSet<QString> ours(files.begin(), files.end());
    // How long this machine (and build) takes from the start to the first write.
    QElapsedTimer clock;
    clock.start();
    QProcess& first = Start(files);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Session().Exists(); }, 60000));
    const qint64 firstWrite = clock.elapsed();
    ASSERT_TRUE(WaitForRows(40));
    Kill(first);
    int withRows = 0;
    size_t lastRows = 40;
    // Twelve kills spread from before the first write to well after it: over the start, the
    // restore of what earlier rounds kept, and the adding. A loaded machine starts slower than
    // it did for the first write; then later rounds wait longer, until three kills have fallen
    // after a round's own write.
    for (int round = 0; round < 24 && (round < 12 || withRows < 3); ++round) {
        SCOPED_TRACE(round);
        QProcess& p = Start(files);
        const qint64 wait =
            round < 12 ? firstWrite * (2 + round) / 4 : firstWrite * (round - 6) / 2;
        QTest::qWait(static_cast<int>(wait));
        Kill(p);
        ASSERT_TRUE(Session().Exists()) << "a kept list was lost";
        QFile raw(Session().Path());
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
        const auto kept = SessionFile::Decode(raw.readAll());
        ASSERT_TRUE(kept.has_value()) << "a broken session file";
        for (const SessionRow& row : kept->rows) {
            EXPECT_TRUE(ours.contains(row.record.FilePath)) << row.record.FilePath.toStdString();
            EXPECT_EQ(row.record.LengthPos, 4410);
        }
        // Each start brings the kept rows back before it adds: the list never shrinks.
        EXPECT_GE(kept->rows.size(), lastRows);
        // Some kills fall after this round's own write.
        if (kept->rows.size() > lastRows) ++withRows;
        lastRows = kept->rows.size();
        // Nothing half written is left beside it.
        EXPECT_EQ(QDir(Path("state/quillet")).entryList(QDir::Files | QDir::Hidden),
                  QStringList({"session.json"}));
    }
    // The kills did fall while the list was being written.
    EXPECT_GE(withRows, 3);
}

}  // namespace
}  // namespace quillet
