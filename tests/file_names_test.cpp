#include <dirent.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <vector>

#include "common/FileNames.h"
#include "common/SingleInstance.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioInformation2.h"
#include "support/Oracle.h"
#include "tracks/FolderScan.h"
#include "tracks/PathOpener.h"
#include "tracks/SessionFile.h"
#include "tracks/TrackProbe.h"

using quillet::DecodeFileName;
using quillet::EncodeFileName;

namespace {

QString Escape(uint8_t byte) { return QString(QChar(static_cast<char16_t>(0xDC00 + byte))); }

}  // namespace

TEST(FileNameBytes, EverySingleByteAndEveryPairRoundTrips) {
    for (int b = 0; b < 256; ++b) {
        const QByteArray bytes(1, static_cast<char>(b));
        const QString text = DecodeFileName(bytes);
        ASSERT_EQ(text.size(), 1);
        // ASCII is itself; a byte of 0x80 or more alone is never valid UTF-8.
        EXPECT_EQ(text.at(0).unicode(), b < 0x80 ? b : 0xDC80 + (b - 0x80)) << b;
        EXPECT_EQ(EncodeFileName(text), bytes) << b;
    }
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const QByteArray bytes = QByteArray(1, static_cast<char>(a)) + static_cast<char>(b);
            const QString text = DecodeFileName(bytes);
            ASSERT_EQ(EncodeFileName(text), bytes) << a << " " << b;
            ASSERT_EQ(DecodeFileName(EncodeFileName(text)), text);
        }
    }
}

TEST(FileNameBytes, ValidUtf8ReadsAsQtReadsIt) {
    const QByteArray names[] = {
        "plain.mp3",
        "caf\xc3\xa9.mp3",               // é
        "\xe6\x97\xa5\xe6\x9c\xac.wav",  // 日本
        "\xf0\x9d\x84\x9e clef.ogg",     // U+1D11E, a surrogate pair in UTF-16
        "\xef\xbf\xbd.wma",              // U+FFFD itself is a valid character
        "\xf4\x8f\xbf\xbf",              // U+10FFFF, the last code point
        "\xee\x80\x80",                  // U+E000, just past the surrogates
        "\xf0\x90\x82\x80",              // U+10080: its low surrogate is U+DC80, an escape's
    };
    for (const QByteArray& name : names) {
        EXPECT_EQ(DecodeFileName(name), QString::fromUtf8(name)) << name.toHex().constData();
        EXPECT_EQ(EncodeFileName(QString::fromUtf8(name)), name) << name.toHex().constData();
    }
}

TEST(FileNameBytes, InvalidSequencesBecomeOneEscapePerByte) {
    struct Case {
        QByteArray bytes;
        QString text;
    };
    const Case cases[] = {
        {"caf\xe9.mp3", "caf" + Escape(0xE9) + ".mp3"},                // Latin-1 é
        {"\xc0 la.mp3", Escape(0xC0) + " la.mp3"},                     // Latin-1 À
        {"\xc0\xaf", Escape(0xC0) + Escape(0xAF)},                     // overlong "/"
        {"\xe0\x80\xaf", Escape(0xE0) + Escape(0x80) + Escape(0xAF)},  // overlong, 3 bytes
        {"\xf0\x80\x80\xaf", Escape(0xF0) + Escape(0x80) + Escape(0x80) + Escape(0xAF)},
        {"\xed\xa0\x80", Escape(0xED) + Escape(0xA0) + Escape(0x80)},  // U+D800 encoded
        {"\xed\xb3\xa9", Escape(0xED) + Escape(0xB3) + Escape(0xA9)},  // U+DCE9 encoded
        {"\xf4\x90\x80\x80", Escape(0xF4) + Escape(0x90) + Escape(0x80) + Escape(0x80)},
        {"\xe2\x82", Escape(0xE2) + Escape(0x82)},               // cut short
        {"\xe2\x82.mp3", Escape(0xE2) + Escape(0x82) + ".mp3"},  // cut short, then ASCII
        {"\x80\xbf", Escape(0x80) + Escape(0xBF)},               // stray continuations
        {"\xf8\x88\x80\x80\x80",
         Escape(0xF8) + Escape(0x88) + Escape(0x80) + Escape(0x80) + Escape(0x80)},  // 5-byte form
        {"\xe9\xc3\xa9", Escape(0xE9) + QChar(0xE9)},  // bad, then valid é
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeFileName(c.bytes), c.text) << c.bytes.toHex().constData();
        EXPECT_EQ(EncodeFileName(c.text), c.bytes) << c.bytes.toHex().constData();
    }
    // The byte é and the character é are different names, and stay so.
    EXPECT_NE(DecodeFileName("caf\xe9"), DecodeFileName("caf\xc3\xa9"));
}

TEST(FileNameBytes, SurrogatesThatStandForNoByteAreWrittenAsReplacement) {
    const QString lone[] = {QString(QChar(0xD800)), QString(QChar(0xDBFF)), QString(QChar(0xDC7F)),
                            QString(QChar(0xDD00)), QString(QChar(0xDFFF)) + "x"};
    EXPECT_EQ(EncodeFileName(lone[0]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[1]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[2]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[3]), QByteArray("\xef\xbf\xbd"));
    EXPECT_EQ(EncodeFileName(lone[4]), QByteArray("\xef\xbf\xbdx"));
    EXPECT_EQ(EncodeFileName(Escape(0xE9) + QChar(0xD834)), QByteArray("\xe9\xef\xbf\xbd"));
}

// Names that come from outside the dialogs keep their bytes: a file manager's URL, the command
// line, a later start handing its paths over, and the list kept between runs.
TEST(FileNameBytes, NamesFromOutsideKeepTheirBytes) {
    using namespace quillet;
    const QByteArray name("/m/d\xe9mo/caf\xe9 x\xff.wav");
    const QString path = DecodeFileName(name);
    const QUrl url = QUrl::fromEncoded("file:///m/d%E9mo/caf%E9%20x%FF.wav");
    EXPECT_EQ(EncodeFileName(LocalFilePath(url)), name);
    EXPECT_TRUE(LocalFilePath(QUrl("https://example.org/a.mp3")).isEmpty());
    EXPECT_EQ(EncodeFileName(PathOpener::Absolute(url.toString(QUrl::FullyEncoded))), name);

    const char* argv[] = {"quillet", "/m/d\xe9mo/caf\xe9 x\xff.wav", "--", "-x.mp3"};
    const QStringList arguments = ArgumentsOf(4, argv);
    ASSERT_EQ(arguments.size(), 4);
    EXPECT_EQ(EncodeFileName(arguments[1]), name);
    EXPECT_EQ(arguments[3], "-x.mp3");

    QStringList handed;
    ASSERT_EQ(SingleInstance::Decode(SingleInstance::Encode({path, "/m/plain.mp3"}), handed),
              SingleInstance::Decoded::Whole);
    ASSERT_EQ(handed.size(), 2);
    EXPECT_EQ(EncodeFileName(handed[0]), name);
    EXPECT_EQ(handed[1], "/m/plain.mp3");

    QTemporaryDir dir;
    const SessionFile file(dir.filePath("session.json"));
    Session session;
    SessionRow row;
    row.record.FilePath = path;
    row.record.LengthPos = row.record.EndPos = 44100;
    row.record.LengthSec = row.record.EndSec = 1;
    row.caption = DecodeFileName("caf\xe9 x\xff.wav");
    session.rows = {row};
    ASSERT_FALSE(file.Write(session).has_value());
    const std::optional<Session> back = file.Read();
    ASSERT_TRUE(back.has_value());
    ASSERT_EQ(back->rows.size(), size_t{1});
    EXPECT_EQ(EncodeFileName(back->rows[0].record.FilePath), name);
    EXPECT_EQ(EncodeFileName(back->rows[0].caption), QByteArray("caf\xe9 x\xff.wav"));
    // The file stays JSON in UTF-8, which other tools read.
    QFile json(dir.filePath("session.json"));
    ASSERT_TRUE(json.open(QIODevice::ReadOnly));
    const QByteArray text = json.readAll();
    EXPECT_TRUE(text.contains("\"fileBytes\""));
    EXPECT_EQ(QString::fromUtf8(text).toUtf8(), text);
}

namespace {

int RemoveOne(const char* path, const struct stat*, int, FTW*) { return ::remove(path); }

// QTemporaryDir cannot see the names it would have to remove.
void RemoveTree(const QByteArray& folder) {
    ::nftw(folder.constData(), RemoveOne, 16, FTW_DEPTH | FTW_PHYS);
}

// The names of a folder as readdir gives them, in its order: what the file system lists.
std::vector<QByteArray> RawNames(const QByteArray& folder) {
    std::vector<QByteArray> names;
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir)) {
        const QByteArray name(e->d_name);
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

class Collect : public quillet::FolderScanListener {
  public:
    bool EnterFolder(const QString&, int) override { return true; }
    bool AcceptedEntry(const QString& path, const QString& name) override {
        paths.push_back(EncodeFileName(path));
        names.push_back(EncodeFileName(name));
        return true;
    }
    void LeaveFolder(const QString&, int) override {}

    std::vector<QByteArray> paths;
    std::vector<QByteArray> names;
};

struct Source {
    QByteArray name;  // relative to the music folder, as bytes
    QStringList codec;
};

// Latin-1 names (what old collections hold), a UTF-8 one and an ASCII one, in every reader the
// engine has: its own WAV and Vorbis readers and FFmpeg for MP3 and WMA.
const Source kSources[] = {
    {"caf\xe9.wav", {}},
    {"\xc0 la.mp3", {"-c:a", "libmp3lame", "-b:a", "128k"}},
    {"\xc3\xa9t\xc3\xa9.ogg", {"-c:a", "libvorbis"}},
    {"plain.wma", {"-c:a", "wmav2"}},
    {"d\xe9mo/x\xff.ogg", {"-c:a", "libvorbis"}},  // in a folder with such a name too
};

class ByteNames : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        root_ = EncodeFileName(tmp_.path()) + "/music";
        ASSERT_EQ(::mkdir(root_.constData(), 0777), 0);
        ASSERT_EQ(::mkdir((root_ + "/d\xe9mo").constData(), 0777), 0);
        ASSERT_EQ(::mkdir((root_ + "/blank").constData(), 0777), 0);
        int i = 0;
        for (const Source& s : kSources) {
            const QByteArray ext = s.name.mid(s.name.lastIndexOf('.'));
            // Made under an ASCII name (ffmpeg is given its names through QProcess, in UTF-8),
            // then given its bytes by rename(2).
            const QString made = tmp_.path() + QStringLiteral("/made%1").arg(i) + ext;
            quillet::test::MakeTone(
                made, 22050, 22050, 2,
                s.codec + QStringList{"-metadata", "title=Tone " + QString::number(i)});
            ASSERT_EQ(
                ::rename(EncodeFileName(made).constData(), (root_ + "/" + s.name).constData()), 0);
            // An untagged file of the same kind, for the tags to be written into.
            const QString blank = tmp_.path() + QStringLiteral("/blank%1").arg(i) + ext;
            quillet::test::MakeTone(blank, 11025, 22050, 2,
                                    s.codec + QStringList{"-map_metadata", "-1"});
            ASSERT_EQ(::rename(EncodeFileName(blank).constData(), BlankOf(i).constData()), 0);
            ++i;
        }
    }

    void TearDown() override { RemoveTree(root_); }

    QByteArray BlankOf(int i) const {
        const QByteArray name = kSources[i].name;
        return root_ + "/blank/" + QByteArray::number(i) + "\xe9" + name.mid(name.lastIndexOf('.'));
    }

    // The oracles take their paths through QProcess, which cannot pass such bytes: they read
    // the file through an ASCII link to it.
    QString Link(const QByteArray& target) {
        const QByteArray link = EncodeFileName(tmp_.path()) + "/link" +
                                QByteArray::number(links_++) + target.mid(target.lastIndexOf('.'));
        EXPECT_EQ(::symlink(target.constData(), link.constData()), 0);
        return QString::fromUtf8(link);
    }

    QTemporaryDir tmp_;
    QByteArray root_;
    int links_ = 0;
};

}  // namespace

TEST_F(ByteNames, TheFolderScanListsEveryNameWithItsBytes) {
    Collect found;
    quillet::FolderScan scan(found);
    ASSERT_TRUE(scan.Run(DecodeFileName(root_), true));

    // The order is readdir's, level by level; the sub-folders come where readdir has them.
    std::vector<QByteArray> expected;
    for (const QByteArray& name : RawNames(root_)) {
        if (name == "blank") {
            for (const QByteArray& inner : RawNames(root_ + "/blank"))
                expected.push_back(root_ + "/blank/" + inner);
        } else if (name == "d\xe9mo") {
            for (const QByteArray& inner : RawNames(root_ + "/d\xe9mo"))
                expected.push_back(root_ + "/d\xe9mo/" + inner);
        } else {
            expected.push_back(root_ + "/" + name);
        }
    }
    ASSERT_EQ(expected.size(), 10u);
    EXPECT_EQ(found.paths, expected);
    for (const Source& s : kSources)
        EXPECT_NE(std::find(found.paths.begin(), found.paths.end(), root_ + "/" + s.name),
                  found.paths.end())
            << s.name.toHex().constData();
    // The name handed on is the last part of the path, byte for byte.
    for (size_t i = 0; i < found.paths.size(); ++i)
        EXPECT_TRUE(found.paths[i].endsWith("/" + found.names[i]));
}

TEST_F(ByteNames, EveryListedFileOpensToItsWholeLength) {
    for (const Source& s : kSources) {
        const QByteArray bytes = root_ + "/" + s.name;
        const QString path = DecodeFileName(bytes);
        EXPECT_TRUE(quillet::StatFile(path).IsFile());
        quillet::TAudioFile2 file;
        ASSERT_NO_THROW(file.OpenForRead(path, 0, 1)) << s.name.toHex().constData();
        const std::vector<float> oracle = quillet::test::DecodeWithFfmpeg(Link(bytes));
        ASSERT_FALSE(oracle.empty()) << s.name.toHex().constData();
        EXPECT_EQ(file.Length(), static_cast<int64_t>(oracle.size() / 2))
            << s.name.toHex().constData();
        EXPECT_EQ(file.Channels(), 2);
        file.Close();
        // The list takes it in as the scan found it.
        const quillet::TrackProbe probe = quillet::ProbeTrack(file, path);
        EXPECT_EQ(probe.outcome, quillet::TrackProbe::Outcome::Usable)
            << s.name.toHex().constData();
        EXPECT_EQ(probe.length, static_cast<int32_t>(oracle.size() / 2));
    }
    // A name that differs from an existing one only in a byte UTF-8 cannot hold is another name.
    quillet::TAudioFile2 missing;
    EXPECT_ANY_THROW(missing.OpenForRead(DecodeFileName(root_ + "/caf\xe8.wav"), 0, 1));
}

TEST_F(ByteNames, TagsAreReadFromAndWrittenIntoSuchFiles) {
    for (int i = 0; i < static_cast<int>(std::size(kSources)); ++i) {
        const QByteArray source = root_ + "/" + kSources[i].name;
        quillet::TAudioInformation2 information;
        information.LoadInformation(DecodeFileName(source));
        ASSERT_NO_THROW(information.SaveInformation(DecodeFileName(BlankOf(i))))
            << kSources[i].name.toHex().constData();
        EXPECT_EQ(quillet::test::ProbeTag(Link(BlankOf(i)), "title"),
                  QStringLiteral("Tone %1").arg(i))
            << kSources[i].name.toHex().constData();
    }
    // Written in place: nothing is left beside the files, and no other name appeared.
    std::vector<QByteArray> names = RawNames(root_ + "/blank");
    std::sort(names.begin(), names.end());
    std::vector<QByteArray> expected;
    for (int i = 0; i < static_cast<int>(std::size(kSources)); ++i)
        expected.push_back(BlankOf(i).mid(root_.size() + 7));
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
}

// Scripts hand the engine the names' bytes; a shell passes them, where QProcess cannot.
TEST_F(ByteNames, TheEngineTakesSuchNamesOnItsCommandLine) {
    const QString script = QStringLiteral(
        "cd \"$1\" && \"$2\" info \"$(printf 'caf\\351.wav')\" && "
        "\"$2\" convert \"$(printf 'caf\\351.wav')\" 100 5100 \"$(printf 'blank/\\300 out.wav')\"");
    const quillet::test::ToolResult run =
        quillet::test::RunTool("sh", {"-c", script, "sh", QString::fromUtf8(root_),
                                      quillet::test::BinDir() + "/quillet-engine"});
    ASSERT_EQ(run.exitCode, 0) << run.err.constData();
    const std::vector<float> whole = quillet::test::DecodeWithFfmpeg(Link(root_ + "/caf\xe9.wav"));
    EXPECT_TRUE(run.out.startsWith("length=" + QByteArray::number(whole.size() / 2) + " "))
        << run.out.constData();
    const QByteArray written = root_ + "/blank/\xc0 out.wav";
    const std::vector<QByteArray> names = RawNames(root_ + "/blank");
    EXPECT_NE(std::find(names.begin(), names.end(), QByteArray("\xc0 out.wav")), names.end());
    const std::vector<float> cut = quillet::test::DecodeWithFfmpeg(Link(written));
    ASSERT_EQ(cut.size(), 5000u * 2);
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), whole.begin() + 100 * 2));
}
