// One running instance takes the paths of later starts; a crashed one leaves nothing that keeps
// the next start from taking its place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <csignal>

#include "common/SingleInstance.h"

namespace quillet {
namespace {

// A later start, which blocks while it hands over: it runs beside the event loop that serves.
bool HandOverFromAnotherThread(const QString& folder, const QStringList& paths, int timeoutMs) {
    std::atomic<bool> taken{false};
    std::atomic<bool> done{false};
    QThread* thread = QThread::create([&] {
        const SingleInstance later(folder);
        taken = later.HandOver(paths, timeoutMs);
        done = true;
    });
    thread->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, timeoutMs + 10000));
    thread->wait();
    delete thread;
    return taken;
}

class SingleInstanceTest : public ::testing::Test {
  protected:
    QTemporaryDir dir_;
    QString Folder() const { return dir_.path(); }
};

TEST_F(SingleInstanceTest, TheFirstStartServesAndALaterOneHandsItsPathsOver) {
    SingleInstance first(Folder());
    ASSERT_TRUE(first.Claim());
    EXPECT_TRUE(first.Serving());
    QSignalSpy received(&first, &SingleInstance::PathsReceived);

    SingleInstance second(Folder());
    EXPECT_FALSE(second.Claim());
    EXPECT_FALSE(second.Serving());

    const QStringList paths = {"/music/a b.mp3", "/music/é ü/c.wav", "/music/folder",
                               "/x/line\nbreak.ogg"};
    EXPECT_TRUE(HandOverFromAnotherThread(Folder(), paths, 5000));
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received.front().front().toStringList(), paths);

    // Several in a row, each whole.
    EXPECT_TRUE(HandOverFromAnotherThread(Folder(), {"/one.mp3"}, 5000));
    EXPECT_TRUE(HandOverFromAnotherThread(Folder(), {"/two.mp3", "/three.mp3"}, 5000));
    ASSERT_EQ(received.count(), 3);
    EXPECT_EQ(received[2].front().toStringList(), QStringList({"/two.mp3", "/three.mp3"}));

    // The socket and the lock are the user's own.
    EXPECT_EQ(QFileInfo(first.SocketPath()).permissions() &
                  (QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ReadGroup |
                   QFileDevice::WriteGroup),
              0);
}

TEST_F(SingleInstanceTest, WhenTheFirstEndsTheNextStartTakesItsPlace) {
    {
        SingleInstance first(Folder());
        ASSERT_TRUE(first.Claim());
    }
    EXPECT_FALSE(QFile::exists(Folder() + "/quillet.socket"));
    SingleInstance next(Folder());
    EXPECT_TRUE(next.Claim());
    EXPECT_TRUE(next.Serving());
}

// A first instance that crashed: its lock file and its socket stay behind, locked and
// listening until the process is killed.
TEST_F(SingleInstanceTest, ACrashedFirstStartLeavesNothingInTheWay) {
    const SingleInstance names(Folder());
    QProcess crashed;
    crashed.start("python3", {"-c",
                              "import fcntl, socket, sys, time\n"
                              "lock = open(sys.argv[1], 'a')\n"
                              "fcntl.flock(lock, fcntl.LOCK_EX)\n"
                              "s = socket.socket(socket.AF_UNIX)\n"
                              "s.bind(sys.argv[2]); s.listen(5)\n"
                              "print('ready', flush=True)\n"
                              "time.sleep(600)\n",
                              names.LockPath(), names.SocketPath()});
    ASSERT_TRUE(crashed.waitForReadyRead(30000));
    ASSERT_EQ(crashed.readLine().trimmed(), "ready");

    // While it lives it holds the place, and a start that cannot get an answer gives up in time.
    SingleInstance early(Folder());
    EXPECT_FALSE(early.Claim());
    EXPECT_FALSE(HandOverFromAnotherThread(Folder(), {"/a.mp3"}, 1500));

    ::kill(static_cast<pid_t>(crashed.processId()), SIGKILL);
    ASSERT_TRUE(crashed.waitForFinished(30000));
    ASSERT_TRUE(QFile::exists(names.SocketPath()));
    ASSERT_TRUE(QFile::exists(names.LockPath()));

    SingleInstance next(Folder());
    ASSERT_TRUE(next.Claim());
    ASSERT_TRUE(next.Serving());
    QSignalSpy received(&next, &SingleInstance::PathsReceived);
    EXPECT_TRUE(HandOverFromAnotherThread(Folder(), {"/b.mp3"}, 5000));
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received.front().front().toStringList(), QStringList({"/b.mp3"}));
}

TEST_F(SingleInstanceTest, NobodyServingMeansNoHandOver) {
    const SingleInstance alone(Folder());
    EXPECT_FALSE(alone.HandOver({"/a.mp3"}, 300));
    // Without a folder to meet in, every start is a first one.
    SingleInstance nowhere{QString()};
    EXPECT_TRUE(nowhere.Claim());
    EXPECT_FALSE(nowhere.HandOver({"/a.mp3"}, 300));
}

TEST_F(SingleInstanceTest, OnlyWholeMessagesAreTaken) {
    using D = SingleInstance::Decoded;
    QStringList paths;
    const QByteArray whole = SingleInstance::Encode({"/a.mp3", "/b c.wav"});
    EXPECT_EQ(SingleInstance::Decode(whole, paths), D::Whole);
    EXPECT_EQ(paths, QStringList({"/a.mp3", "/b c.wav"}));
    for (qsizetype n = 0; n < whole.size(); ++n) {
        EXPECT_EQ(SingleInstance::Decode(whole.left(n), paths), D::Incomplete) << n;
    }
    EXPECT_EQ(SingleInstance::Decode(SingleInstance::Encode({}), paths), D::Whole);
    EXPECT_TRUE(paths.isEmpty());
    EXPECT_EQ(SingleInstance::Decode(whole + "x", paths), D::Invalid);
    EXPECT_EQ(SingleInstance::Decode("GET / HTTP/1.0\r\n", paths), D::Invalid);
    EXPECT_EQ(SingleInstance::Decode(QByteArray("quillet-open 2\0/a\0\0", 19), paths), D::Invalid);
    EXPECT_EQ(SingleInstance::Decode(QByteArray(17 * 1024 * 1024, 'q'), paths), D::Invalid);

    // A peer that sends junk is dropped, and the instance goes on serving.
    SingleInstance first(Folder());
    ASSERT_TRUE(first.Claim());
    QSignalSpy received(&first, &SingleInstance::PathsReceived);
    QLocalSocket junk;
    junk.connectToServer(first.SocketPath());
    ASSERT_TRUE(junk.waitForConnected(5000));
    junk.write("not a message\n");
    junk.flush();
    EXPECT_TRUE(QTest::qWaitFor([&] { return junk.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(received.count(), 0);
    EXPECT_TRUE(HandOverFromAnotherThread(Folder(), {"/c.mp3"}, 5000));
    EXPECT_EQ(received.count(), 1);
}

TEST_F(SingleInstanceTest, WithoutARuntimeFolderAPrivateOneIsUsed) {
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("XDG_RUNTIME_DIR", Folder().toUtf8());
    EXPECT_EQ(SingleInstance::DefaultFolder(), Folder());

    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", Folder().toUtf8());
    const QString own = Folder() + "/quillet-" + QString::number(::getuid());
    EXPECT_EQ(SingleInstance::DefaultFolder(), own);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(own).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // One that others may enter is not taken.
    ::chmod(QFile::encodeName(own).constData(), 0777);
    EXPECT_EQ(SingleInstance::DefaultFolder(), QString());

    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    if (savedRuntime.isEmpty()) qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", savedTmp);
    if (savedTmp.isEmpty()) qunsetenv("TMPDIR");
}

}  // namespace
}  // namespace quillet
