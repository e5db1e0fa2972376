// The settings file under faults.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

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

// A file system of 64 KiB of its own, to fill up.
class FullDiskTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        const QByteArray where = QFile::encodeName(dir_.path());
        if (mount("tmpfs", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0)
            GTEST_SKIP() << "no tmpfs can be mounted here: " << std::strerror(errno);
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

}  // namespace
}  // namespace quillet
