// The settings file under faults: a full disk, a writer killed at any moment, and several
// processes writing and reading it at once. The other processes are forks of this test.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "settings/SettingsFile.h"

namespace quillet {
namespace {

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Store(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

// The names in a folder, hidden ones too, as one text.
std::string Entries(const QString& dir) {
    return QDir(dir)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                   QDir::Name)
        .join(u' ')
        .toStdString();
}

// Runs `work` in a child process that ends with work's result as its exit status. The child
// never returns into the test (nor runs its destructors, which would remove the test's folder).
template <typename Work>
pid_t Spawn(Work work) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    int status = 99;
    try {
        status = work();
    } catch (...) {
    }
    _exit(status);
}

// The child's exit status, or -1 when a signal ended it.
int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -2;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A file system of 64 KiB of its own, to fill up.
class FullDiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QByteArray where = QFile::encodeName(dir_.path());
        if (mount("tmpfs", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0) {
            // CI runs as root, where the mount must work: a refusal there is a failure.
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "cannot mount a tmpfs: " << std::strerror(errno);
            GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
    }

    QTemporaryDir dir_;
    bool mounted_ = false;
};

TEST_F(FullDiskTest, AWriteThatDoesNotFitRaisesTheErrorAndKeepsTheOldFile) {
    const QString path = dir_.filePath("quillet.ini");
    // About 10 KiB, three pages: small enough that a buffered writer keeps all of it in its
    // buffer until it commits.
    QByteArray before = "[cut]\noutput directory=/music\nformat=2\n\n[mp3]\n";
    for (int i = 0; before.size() < 10000; ++i)
        before += "key " + QByteArray::number(i) + "=value " + QByteArray::number(i) + "\n";
    Store(path, before);
    ASSERT_EQ(Contents(path), before);

    const qint64 page = sysconf(_SC_PAGESIZE);
    QFile filler(dir_.filePath("filler"));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray block(page, 'f');
    while (filler.write(block) == block.size()) {
    }
    const qint64 full = filler.size();
    ASSERT_EQ(full % page, 0);

    // No room at all (not even for the lock file), room for the lock file only, and room for
    // the lock file and a part of the new file.
    SettingsFile settings(path);
    for (int freePages : {0, 1, 2}) {
        SCOPED_TRACE(freePages);
        ASSERT_TRUE(filler.resize(full - freePages * page));
        try {
            settings.WriteString("cut", "output directory", "/new");
            ADD_FAILURE() << "no error";
        } catch (const SettingsError& e) {
            EXPECT_EQ(e.what(), "Unable to write to " + path.toStdString());
        }
        const QByteArray now = Contents(path);
        EXPECT_TRUE(now == before) << "the file now holds " << now.size() << " bytes";
        EXPECT_EQ(Entries(dir_.path()), "filler quillet.ini");
        EXPECT_EQ(settings.ReadString("cut", "output directory", "default").toStdString(),
                  "/music");
    }

    // With room again the same write goes through.
    filler.close();
    ASSERT_TRUE(filler.remove());
    settings.WriteString("cut", "output directory", "/new");
    QByteArray after = before;
    after.replace("output directory=/music", "output directory=/new");
    EXPECT_TRUE(Contents(path) == after);
    EXPECT_EQ(Entries(dir_.path()), "quillet.ini");
}

TEST(SettingsFileKillTest, AWriterKilledAtAnyMomentLeavesTheOldFileOrTheNewOneWhole) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("quillet.ini");
    // Half a MiB after the key, so that one write takes long enough to be killed inside.
    QByteArray rest = "\n[big]\n";
    for (int i = 0; rest.size() < (1 << 19); ++i)
        rest += "entry " + QByteArray::number(i) + "=stored text " + QByteArray::number(i * 7919) +
                "\n";
    const auto fileWith = [&rest](int round) {
        return "[kill]\nround=" + QByteArray::number(round) + "\n" + rest;
    };
    Store(path, fileWith(0));
    // A writer that writes round after round from `first` on, until it is killed.
    const auto writer = [&path](int first) {
        return [&path, first] {
            SettingsFile settings(path);
            for (int round = first;; ++round) settings.WriteInteger("kill", "round", round);
            return 0;
        };
    };

    // How long a child takes from its start to the end of its first write, to spread the
    // kills over a few writes.
    qint64 writeNs = 0;
    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(Wait(Spawn([&path, round] {
                      SettingsFile(path).WriteInteger("kill", "round", round);
                      return 0;
                  })),
                  0);
        writeNs = std::max(writeNs, timer.nsecsElapsed());
    }
    ASSERT_TRUE(Contents(path) == fileWith(3));

    constexpr int kKills = 30;
    int current = 3;
    int unchanged = 0;
    int changed = 0;
    int locksLeft = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const pid_t child = Spawn(writer(current + 1));
        ASSERT_GT(child, 0);
        std::this_thread::sleep_for(std::chrono::nanoseconds(writeNs * 3 * kill / kKills));
        ::kill(child, SIGKILL);
        ASSERT_EQ(Wait(child), -1) << "kill " << kill << ": the writer ended by itself";
        const QByteArray now = Contents(path);
        const int round = now.mid(0, 32).split('\n').value(1).mid(6).toInt();
        ASSERT_GE(round, current) << "kill " << kill;
        ASSERT_TRUE(now == fileWith(round))
            << "kill " << kill << " left a broken file of " << now.size() << " bytes";
        ++(round == current ? unchanged : changed);
        current = round;
        if (QFile::exists(path + ".lock")) ++locksLeft;
    }
    // Kills landed before a writer's first rename, after it, and while it held the lock.
    EXPECT_GT(unchanged, 0);
    EXPECT_GT(changed, 0);
    EXPECT_GT(locksLeft, 0);

    // The next write takes over the lock of the killed writer.
    SettingsFile(path).WriteInteger("kill", "round", current + 1);
    EXPECT_TRUE(Contents(path) == fileWith(current + 1));
    EXPECT_FALSE(QFile::exists(path + ".lock"));
}

// A lock file left by a process that died: one with its process id, and an empty one (with
// the second lock file that a takeover uses, empty too) from a process killed while making it.
TEST(SettingsFileLockTest, LockFilesOfAProcessThatDiedAreTakenOver) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("quillet.ini");
    const QString lockPath = path + ".lock";
    SettingsFile settings(path);

    const pid_t holder = Spawn([&lockPath] {
        QLockFile lock(lockPath);
        if (!lock.tryLock(0)) return 1;
        _exit(0);  // before the lock's destructor removes it
    });
    ASSERT_EQ(Wait(holder), 0);
    ASSERT_TRUE(QFile::exists(lockPath));
    settings.WriteInteger("cut", "format", 1);
    EXPECT_EQ(Contents(path).toStdString(), "[cut]\nformat=1\n");

    for (const QString& left : {lockPath, lockPath + ".rmlock"}) {
        QFile file(left);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addSecs(-3),
                                     QFileDevice::FileModificationTime));
    }
    settings.WriteInteger("cut", "format", 2);
    EXPECT_EQ(Contents(path).toStdString(), "[cut]\nformat=2\n");
    EXPECT_EQ(Entries(dir.path()), "quillet.ini");
}

TEST(SettingsFileLockTest, AWriteWaitsForALiveHolderAndThenFailsWithoutBreakingIn) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("quillet.ini");
    const QString lockPath = path + ".lock";
    Store(path, "[cut]\nformat=1\n");

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = Spawn([&lockPath, &ready] {
        QLockFile lock(lockPath);
        if (!lock.tryLock(0)) return 1;
        if (write(ready[1], "x", 1) != 1) return 1;
        for (;;) pause();
    });
    ASSERT_GT(holder, 0);
    char signal = 0;
    ASSERT_EQ(read(ready[0], &signal, 1), 1);
    close(ready[0]);
    close(ready[1]);

    SettingsFile settings(path);
    try {
        settings.WriteInteger("cut", "format", 2);
        ADD_FAILURE() << "no error";
    } catch (const SettingsError& e) {
        EXPECT_EQ(e.what(), "Unable to write to " + path.toStdString());
    }
    EXPECT_EQ(Contents(path).toStdString(), "[cut]\nformat=1\n");
    // The holder's lock, older by now than a lock left empty may be, is still its own.
    qint64 pid = 0;
    QString host;
    QString app;
    EXPECT_TRUE(QLockFile(lockPath).getLockInfo(&pid, &host, &app));
    EXPECT_EQ(pid, holder);

    ::kill(holder, SIGKILL);
    EXPECT_EQ(Wait(holder), -1);
    settings.WriteInteger("cut", "format", 2);
    EXPECT_EQ(Contents(path).toStdString(), "[cut]\nformat=2\n");
}

// Two writers with distinct keys in shared sections, and a reader, all at once.
constexpr int kKeysEach = 200;
constexpr int kBaseKeys = 20;
const char* const kSections[] = {"one", "two", "three", "four"};
const QString kAbsent = QStringLiteral("<absent>");

QString Section(int i) { return QString::fromLatin1(kSections[i % 4]); }
QString Key(char writer, int i) { return QStringLiteral("%1 key %2").arg(writer).arg(i); }
QString Value(char writer, int i) { return QStringLiteral("%1 value %2").arg(writer).arg(i); }
QString BaseKey(int i) { return QStringLiteral("base %1").arg(i); }
QString BaseValue(int i) { return QStringLiteral("stored %1").arg(i); }

int WriteKeys(const QString& path, char writer, const QString& report) {
    SettingsFile settings(path);
    std::minstd_rand random(writer);
    for (int i = 0; i < kKeysEach; ++i) {
        try {
            settings.WriteString(Section(i), Key(writer, i), Value(writer, i));
        } catch (const SettingsError& e) {
            Store(report, QByteArray(e.what()) + " at key " + QByteArray::number(i));
            return 1;
        }
        // A pause of up to a millisecond, so that the writers take turns rather than one
        // waiting for all the other's writes.
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
    }
    return 0;
}

// Reads until `stop` exists. A writer's keys are written in order, so once its key i has been
// read, every key up to i must read as stored from then on. The report's first line holds the
// number of reads, of reads that found a writer's key and of reads that found it absent.
int ReadKeys(const QString& path, const QString& stop, const QString& report) {
    SettingsFile settings(path);
    std::minstd_rand random(7);
    const QDeadlineTimer giveUp(std::chrono::minutes(2));
    int reads = 0;
    int stored = 0;
    int absent = 0;
    int highest[2] = {-1, -1};
    QStringList faults;
    while (!QFile::exists(stop) && !giveUp.hasExpired()) {
        const int b = reads % kBaseKeys;
        const QString base = settings.ReadString("base", BaseKey(b), kAbsent);
        if (base != BaseValue(b)) faults << QStringLiteral("%1 read \"%2\"").arg(BaseKey(b), base);
        for (int w = 0; w < 2; ++w) {
            const char writer = "ab"[w];
            const int i = static_cast<int>(random() % kKeysEach);
            const QString value = settings.ReadString(Section(i), Key(writer, i), kAbsent);
            if (value == Value(writer, i)) {
                ++stored;
                highest[w] = std::max(highest[w], i);
            } else if (value == kAbsent && i > highest[w]) {
                ++absent;
            } else {
                faults << QStringLiteral("%1 read \"%2\" after key %3 had been read")
                              .arg(Key(writer, i), value)
                              .arg(highest[w]);
            }
        }
        ++reads;
    }
    const QString counts = QStringLiteral("%1 %2 %3\n").arg(reads).arg(stored).arg(absent);
    Store(report, (counts + faults.mid(0, 10).join(u'\n')).toUtf8());
    return faults.isEmpty() ? 0 : 1;
}

TEST(SettingsFileSharedTest, TwoWritersAndAReaderAtOnceLoseNothingAndReadNoHalfFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString folder = dir.filePath("settings");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString path = folder + "/quillet.ini";
    const QString stop = dir.filePath("stop");
    QByteArray start = "[base]\n";
    for (int i = 0; i < kBaseKeys; ++i) start += (BaseKey(i) + "=" + BaseValue(i) + "\n").toUtf8();
    Store(path, start);

    const QString readerReport = dir.filePath("reader");
    const pid_t reader = Spawn([&] { return ReadKeys(path, stop, readerReport); });
    const pid_t a = Spawn([&] { return WriteKeys(path, 'a', dir.filePath("a")); });
    const pid_t b = Spawn([&] { return WriteKeys(path, 'b', dir.filePath("b")); });
    ASSERT_GT(reader, 0);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(Wait(a), 0) << Contents(dir.filePath("a")).constData();
    EXPECT_EQ(Wait(b), 0) << Contents(dir.filePath("b")).constData();
    Store(stop, "");
    EXPECT_EQ(Wait(reader), 0) << Contents(readerReport).constData();

    // The reader ran while the keys were being written.
    const QList<QByteArray> counts = Contents(readerReport).split('\n').value(0).split(' ');
    ASSERT_EQ(counts.size(), 3);
    EXPECT_GT(counts[1].toInt(), 0) << "reads that found a key";
    EXPECT_GT(counts[2].toInt(), 0) << "reads before a key was written";

    SettingsFile settings(path);
    QStringList missing;
    for (int i = 0; i < kBaseKeys; ++i)
        if (settings.ReadString("base", BaseKey(i), kAbsent) != BaseValue(i)) missing << BaseKey(i);
    for (char writer : {'a', 'b'}) {
        for (int i = 0; i < kKeysEach; ++i) {
            if (settings.ReadString(Section(i), Key(writer, i), kAbsent) != Value(writer, i))
                missing << Key(writer, i);
        }
    }
    EXPECT_EQ(missing.join(", ").toStdString(), "");
    EXPECT_EQ(Entries(folder), "quillet.ini");
}

}  // namespace
}  // namespace quillet
