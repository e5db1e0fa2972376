#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

#include "tracks/FolderScan.h"

using quillet::FolderScan;
using quillet::FolderScanListener;

namespace {

// Records every call; optional hooks change the answers.
class Recorder : public FolderScanListener {
  public:
    bool EnterFolder(const QString& folder, int depth) override {
        events << QStringLiteral("enter %1 %2").arg(depth).arg(folder);
        return enterAnswer ? enterAnswer(folder) : true;
    }
    bool AcceptedEntry(const QString& path, const QString& name) override {
        paths << path;
        EXPECT_TRUE(path.endsWith("/" + name));
        return onEntry ? onEntry(path) : true;
    }
    void LeaveFolder(const QString& folder, int depth) override {
        events << QStringLiteral("leave %1 %2").arg(depth).arg(folder);
    }

    QStringList paths;
    QStringList events;
    std::function<bool(const QString&)> enterAnswer;
    std::function<bool(const QString&)> onEntry;
};

void Touch(const QString& path, const QByteArray& content = {}) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

bool AcceptedByName(const char* name) {
    if (name[0] == '.') return false;
    return FolderScan::HasAudioExtension(QFile::decodeName(name));
}

// The oracle: the same walk done with readdir and stat directly, in readdir order.
void ReaddirWalk(const QString& folder, bool sub, QStringList& out) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir) return;
    std::vector<std::pair<std::string, bool>> entries;
    while (dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        const QByteArray full = QFile::encodeName(folder) + "/" + QByteArray(name.c_str());
        const bool isDir = ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.emplace_back(name, isDir);
    }
    ::closedir(dir);
    for (const auto& [name, isDir] : entries) {
        const QString path = folder + "/" + QFile::decodeName(name.c_str());
        if (isDir && name[0] != '.' && sub) {
            ReaddirWalk(path, true, out);
        } else if (AcceptedByName(name.c_str())) {
            out << path;
        }
    }
}

class FolderScanTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        root_ = tmp_.path() + "/music";
        ASSERT_TRUE(QDir().mkpath(root_));
    }
    QString Make(const QString& rel, const QByteArray& content = {}) {
        const QString path = root_ + "/" + rel;
        QDir().mkpath(QFileInfo(path).path());
        Touch(path, content);
        return path;
    }
    QStringList Scan(bool sub) {
        Recorder r;
        FolderScan scan(r);
        EXPECT_TRUE(scan.Run(root_, sub));
        return r.paths;
    }
    QStringList Oracle(bool sub) {
        QStringList out;
        ReaddirWalk(root_, sub, out);
        return out;
    }

    QTemporaryDir tmp_;
    QString root_;
};

}  // namespace

TEST(FolderScanNames, AcceptedExtensionsFromTheLastDotInAnyCase) {
    struct Case {
        const char* name;
        bool accepted;
    };
    const Case cases[] = {
        {"a.mp3", true},           {"c.WMA", true},      {"d.Ogg", true},  {"e.wav", true},
        {"x.tar.mp3", true},       {"x.mp3.txt", false}, {"b.txt", false}, {"mp3", false},
        {"a.mp33", false},         {"a.mp", false},      {"a.", false},    {"a.flac", false},
        {"sp ace 'q\".wav", true}, {"é\nx.ogg", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderScan::HasAudioExtension(QString::fromUtf8(c.name)), c.accepted) << c.name;
    }
    EXPECT_EQ(FolderScan::WithTrailingSlash("/a/b"), "/a/b/");
    EXPECT_EQ(FolderScan::WithTrailingSlash("/a/b/"), "/a/b/");
    EXPECT_EQ(FolderScan::WithTrailingSlash("/"), "/");
}

TEST_F(FolderScanTest, OneLevelTakesAudioNamesAndSkipsDotNames) {
    Make("a.mp3");
    Make("b.txt");
    Make("c.WMA");
    Make(".hidden.mp3");
    Make("sub/inner.mp3");
    Make(".git/x.mp3");
    QDir(root_).mkdir("album.ogg");  // a folder named like a file is handed on as a file
    const QStringList got = Scan(false);
    QStringList expected = Oracle(false);
    EXPECT_EQ(got, expected);
    QStringList sorted = got;
    sorted.sort();
    EXPECT_EQ(sorted, QStringList({root_ + "/a.mp3", root_ + "/album.ogg", root_ + "/c.WMA"}));
}

TEST_F(FolderScanTest, SubFoldersComeInEnumerationOrderDepthFirst) {
    // Enough names that readdir's hash order differs from any sorted order.
    for (int i = 0; i < 12; ++i) {
        Make(QStringLiteral("f%1.mp3").arg(i));
        Make(QStringLiteral("d%1/g%1.wav").arg(i));
        Make(QStringLiteral("d%1/e%1/h%1.ogg").arg(i));
    }
    Make("album.ogg/inside.mp3");
    Make(".dot/never.mp3");
    const QStringList got = Scan(true);
    EXPECT_EQ(got, Oracle(true));
    EXPECT_EQ(got.size(), 12 * 3 + 1);
    QStringList sorted = got;
    sorted.sort();
    EXPECT_NE(got, sorted) << "this file system returns sorted entries; the order check is weak";
    EXPECT_FALSE(got.contains(root_ + "/.dot/never.mp3"));
    EXPECT_TRUE(got.contains(root_ + "/album.ogg/inside.mp3"));
    EXPECT_FALSE(got.contains(root_ + "/album.ogg"));
}

TEST_F(FolderScanTest, EveryLevelIsEnteredAndLeftInNestingOrder) {
    Make("x/y/z.mp3");
    Recorder r;
    FolderScan scan(r);
    ASSERT_TRUE(scan.Run(root_, true));
    EXPECT_EQ(r.events, QStringList({"enter 0 " + root_, "enter 1 " + root_ + "/x",
                                     "enter 2 " + root_ + "/x/y", "leave 2 " + root_ + "/x/y",
                                     "leave 1 " + root_ + "/x", "leave 0 " + root_}));
    EXPECT_EQ(r.paths, QStringList({root_ + "/x/y/z.mp3"}));
}

TEST_F(FolderScanTest, RefusedLevelAddsNothingAndIsNotLeft) {
    Make("a.mp3");
    Make("skip/b.mp3");
    Recorder r;
    r.enterAnswer = [](const QString& f) { return !f.endsWith("/skip"); };
    FolderScan scan(r);
    ASSERT_TRUE(scan.Run(root_, true));
    EXPECT_EQ(r.paths, QStringList({root_ + "/a.mp3"}));
    EXPECT_FALSE(r.events.contains("leave 1 " + root_ + "/skip"));
}

TEST_F(FolderScanTest, EndingTheScanStillLeavesEveryEnteredLevel) {
    for (int i = 0; i < 3; ++i) Make(QStringLiteral("a/b/%1.mp3").arg(i));
    Make("c.mp3");
    Recorder r;
    r.onEntry = [](const QString&) { return false; };
    FolderScan scan(r);
    EXPECT_FALSE(scan.Run(root_, true));
    EXPECT_EQ(r.paths.size(), 1);
    EXPECT_EQ(r.events.filter("enter").size(), r.events.filter("leave").size());
}

TEST_F(FolderScanTest, SymlinkLoopsAndSecondPathsAreEnteredOnce) {
    Make("a/one.mp3");
    Make("b/two.mp3");
    ASSERT_EQ(::symlink("..", QFile::encodeName(root_ + "/a/up").constData()), 0);
    ASSERT_EQ(::symlink(".", QFile::encodeName(root_ + "/a/self").constData()), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(root_ + "/b").constData(),
                        QFile::encodeName(root_ + "/blink").constData()),
              0);
    // Two links pointing at each other: resolving them fails, which must not hang the scan.
    ASSERT_EQ(::symlink("ping.mp3", QFile::encodeName(root_ + "/pong.mp3").constData()), 0);
    ASSERT_EQ(::symlink("pong.mp3", QFile::encodeName(root_ + "/ping.mp3").constData()), 0);
    const QStringList got = Scan(true);
    EXPECT_EQ(got.filter("one.mp3").size(), 1);
    EXPECT_EQ(got.filter("two.mp3").size(), 1);
    // The looping links are handed on by name; the caller finds no file behind them.
    EXPECT_TRUE(got.contains(root_ + "/ping.mp3"));
    EXPECT_FALSE(QFileInfo(root_ + "/ping.mp3").isFile());
}

TEST_F(FolderScanTest, BrokenLinkAndZeroByteFileAreHandedOnForTheCallerToJudge) {
    Make("empty.wav");
    ASSERT_EQ(
        ::symlink("/nonexistent/gone.mp3", QFile::encodeName(root_ + "/gone.mp3").constData()), 0);
    QStringList got = Scan(true);
    got.sort();
    EXPECT_EQ(got, QStringList({root_ + "/empty.wav", root_ + "/gone.mp3"}));
}

TEST_F(FolderScanTest, AwkwardNamesArriveAsRealPaths) {
    const QStringList names = {"with space.mp3", "quote'\"s.wav", "ünï ©ode 日本.ogg",
                               "new\nline.wma",  "-dash.mp3",     "star*?.mp3"};
    for (const QString& n : names) Make(n);
    const QStringList got = Scan(false);
    ASSERT_EQ(got.size(), names.size());
    for (const QString& p : got) EXPECT_TRUE(QFileInfo(p).isFile()) << p.toStdString();
}

TEST_F(FolderScanTest, FileVanishingDuringTheScanIsStillReported) {
    Make("a.mp3");
    Make("b.mp3");
    Recorder r;
    QStringList missing;
    r.onEntry = [&](const QString& path) {
        if (!QFileInfo(path).isFile()) missing << path;
        QFile::remove(root_ + "/a.mp3");
        QFile::remove(root_ + "/b.mp3");
        return true;
    };
    FolderScan scan(r);
    ASSERT_TRUE(scan.Run(root_, false));
    EXPECT_EQ(r.paths.size(), 2);
    EXPECT_EQ(missing.size(), 1);
}

TEST_F(FolderScanTest, MissingFolderAddsNothing) {
    Recorder r;
    FolderScan scan(r);
    EXPECT_TRUE(scan.Run(root_ + "/nothing-here", true));
    EXPECT_TRUE(r.paths.isEmpty());
}

// Root reads any folder whatever its mode, so the scan runs in a child that has given up root.
TEST_F(FolderScanTest, UnreadableFolderAddsNothing) {
    Make("open.mp3");
    Make("locked/secret.mp3");
    Make("locked/deeper/more.mp3");
    ASSERT_EQ(::chmod(QFile::encodeName(root_ + "/locked").constData(), 0), 0);
    ::chmod(QFile::encodeName(tmp_.path()).constData(), 0755);
    ::chmod(QFile::encodeName(root_).constData(), 0755);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(10);
        Recorder r;
        FolderScan scan(r);
        const bool finished = scan.Run(root_, true);
        const bool onlyOpen = r.paths == QStringList({root_ + "/open.mp3"});
        ::_exit(finished && onlyOpen ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(QFile::encodeName(root_ + "/locked").constData(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 10) << "could not drop root in the child";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the scan saw into the locked folder or did not finish";
}
