// quillet-engine as scripts use it: its output line, its files and its exit codes.
#include <gtest/gtest.h>
#include <signal.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/wavfile.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <cstring>
#include <memory>

#include "support/AudioMatch.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::ProbeStream;
using test::RunTool;
using test::ToolResult;

class EngineCli : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        test::MakeChirp(dir_->filePath("in.wav"), 44100, 44100, 2,
                        {"-metadata", "title=Chirp", "-metadata", "artist=Quillet"});
    }
    static void TearDownTestSuite() { dir_.reset(); }
    static QString Path(const QString& name) { return dir_->filePath(name); }
    static ToolResult Engine(const QStringList& args) {
        return RunTool(test::BinDir() + "/quillet-engine", args);
    }

    static inline std::unique_ptr<QTemporaryDir> dir_;
};

TEST_F(EngineCli, InfoPrintsOneLine) {
    const ToolResult r = Engine({"info", Path("in.wav")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "length=44100 duration_ms=1000 rate=44100 channels=2 bytes_per_position=8\n");
}

TEST_F(EngineCli, ReadWritesTheFloatsOfTheStretch) {
    const QString out = Path("read.f32");
    const ToolResult r = Engine({"read", Path("in.wav"), "1000", "10000", out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    ASSERT_EQ(bytes.size(), 10000 * 8);
    std::vector<float> got(20000);
    std::memcpy(got.data(), bytes.constData(), static_cast<size_t>(bytes.size()));
    const std::vector<float> whole = test::DecodeWithFfmpeg(Path("in.wav"));
    EXPECT_TRUE(std::equal(got.begin(), got.end(), whole.begin() + 2000));
}

struct ConvertCase {
    const char* out;
    QStringList option;
    const char* codec;
    int rate, channels;
    int64_t frames;  // half a second at the output's rate
};

TEST_F(EngineCli, ConvertWritesEachKindWithItsOptionAndTheTags) {
    const ConvertCase cases[] = {
        {"c.mp3", {"--mp3", "48000,192,2,5"}, "mp3", 48000, 2, 24000},
        {"vbr.mp3", {"--mp3", "44100,128,1,5,vbr,128,4"}, "mp3", 44100, 1, 22050},
        {"c.wav", {"--wav", "22050,1,8"}, "pcm_u8", 22050, 1, 11025},
        {"own.wav", {}, "pcm_s16le", 44100, 2, 22050},
        {"c.wma", {"--wma", "16"}, "wmav2", 44100, 1, 22050},
        {"c.ogg", {"--ogg", "32000,2,96,128,64,-1"}, "vorbis", 32000, 2, 16000},
        {"q.ogg", {"--ogg", "44100,1,128,128,128,300"}, "vorbis", 44100, 1, 22050},
    };
    for (const ConvertCase& c : cases) {
        SCOPED_TRACE(c.out);
        const QString out = Path(c.out);
        const ToolResult r =
            Engine(QStringList{"convert", Path("in.wav"), "4410", "26460", out} + c.option);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(ProbeStream(out, "codec_name"), c.codec);
        EXPECT_EQ(ProbeStream(out, "sample_rate").toInt(), c.rate);
        EXPECT_EQ(ProbeStream(out, "channels").toInt(), c.channels);
        const int64_t frames = test::FramesOf(out, test::DecodeWithFfmpeg(out), c.channels);
        EXPECT_GE(frames, c.frames - 1);
        EXPECT_LE(frames, c.frames + (QString(c.codec) == "wmav2" ? 2047 : 1));
        EXPECT_EQ(test::ProbeTag(out, "title"), "Chirp");
    }
}

TEST_F(EngineCli, ExitCodes) {
    struct {
        QStringList args;
        int code;
        const char* message;  // part of stderr
    } cases[] = {
        {{}, 2, "usage"},
        {{"info"}, 2, "usage"},
        {{"frobnicate", "x"}, 2, "usage"},
        {{"read", Path("in.wav"), "ten", "5", Path("x.f32")}, 2, "usage"},
        {{"convert", Path("in.wav"), "0", "100", Path("x.mp3"), "--mp3", "22050,320,2,5"},
         2,
         "This MP3 format not supported"},
        {{"convert", Path("in.wav"), "0", "100", Path("x.ogg"), "--ogg", "48000,2,8,8,8,-1"},
         2,
         "This OGG format not supported"},
        {{"convert", Path("in.wav"), "0", "100", Path("x.wma"), "--wma", "48"}, 2, "usage"},
        {{"convert", Path("in.wav"), "0", "100", Path("x.wav"), "--flac", "1"}, 2, "usage"},
        {{"convert", Path("in.wav"), "100", "0", Path("x.wav")}, 2, "usage"},
        {{"info", Path("missing.wav")}, 1, "missing.wav"},
        {{"convert", Path("in.wav"), "0", "100", Path("x.aiff")}, 1, "x.aiff"},
        {{"convert", Path("in.wav"), "0", "100", Path("no/dir/x.wav")}, 1, "x.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const ToolResult r = Engine(c.args);
        EXPECT_EQ(r.exitCode, c.code);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(Path("x.mp3")));
    EXPECT_FALSE(QFile::exists(Path("x.ogg")));
}

TEST_F(EngineCli, NotAudioIsAnEngineError) {
    QFile text(Path("text.mp3"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not audio at all\n");
    text.close();
    const ToolResult r = Engine({"info", Path("text.mp3")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("text.mp3")) << r.err.toStdString();
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// However OUT names IN (itself, a link, a detour through a folder, a hard link), neither
// command writes: exit 2, a message, and the input as it was.
TEST_F(EngineCli, AnOutputThatIsTheInputIsRefused) {
    const QString self = Path("self");
    ASSERT_TRUE(QDir().mkpath(self + "/sub"));
    const QString in = self + "/a.wav";
    ASSERT_TRUE(QFile::copy(Path("in.wav"), in));
    ASSERT_TRUE(QFile::link("a.wav", self + "/link.wav"));
    ASSERT_EQ(::link(QFile::encodeName(in).constData(),
                     QFile::encodeName(self + "/hard.wav").constData()),
              0);
    const QByteArray before = ReadAll(in);
    const QString spellings[] = {in, self + "/link.wav", self + "/sub/../a.wav", self + "/./a.wav",
                                 self + "/hard.wav"};
    for (const QString& out : spellings) {
        for (const QStringList& args :
             {QStringList{"convert", in, "0", "4410", out},
              QStringList{"convert", self + "/link.wav", "0", "4410", out, "--wav", "8000,1,8"},
              QStringList{"read", in, "0", "4410", out}}) {
            SCOPED_TRACE(args.join(' ').toStdString());
            const ToolResult r = Engine(args);
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_TRUE(r.err.contains("is the input file")) << r.err.toStdString();
            EXPECT_EQ(ReadAll(in), before);
        }
    }
    EXPECT_EQ(QDir(self).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// SIGKILL at any point of a convert that writes tags with a large cover: afterwards the target
// is the complete old file or the complete new one, never anything in between. A kill leaves at
// most its own pending file beside the target, which the next convert to it removes.
TEST_F(EngineCli, AKillAtAnyPointLeavesTheOldOrTheNewFile) {
    const QString work = Path("kill");
    ASSERT_TRUE(QDir().mkpath(work));
    const QString in = work + "/in.wav";
    test::MakeTone(in, 10 * 44100, 44100, 2, {}, "anoisesrc");
    {
        TagLib::RIFF::WAV::File f(QFile::encodeName(in).constData(), false);
        auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
        frame->setMimeType("image/png");
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        QByteArray cover(16 << 20, '\0');
        for (int i = 0; i < cover.size(); ++i)
            cover[i] = static_cast<char>((static_cast<uint32_t>(i) * 7919u) >> 3);
        frame->setPicture(TagLib::ByteVector(cover.constData(), cover.size()));
        f.ID3v2Tag()->addFrame(frame.release());
        f.ID3v2Tag()->setTitle("Killed");
        ASSERT_TRUE(f.save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripNone));
    }
    const QStringList convert{"convert", in, "0", "441000"};
    const QStringList mp3{"--mp3", "44100,128,2,5"};

    // The complete new file, as an uninterrupted run makes it.
    const QString reference = work + "/reference.mp3";
    QElapsedTimer clock;
    clock.start();
    const ToolResult whole = Engine(convert + QStringList{reference} + mp3);
    const qint64 runMs = clock.elapsed();
    ASSERT_EQ(whole.exitCode, 0) << whole.err.toStdString();
    const QByteArray fresh = ReadAll(reference);
    EXPECT_EQ(test::FramesOf(reference, test::DecodeWithFfmpeg(reference), 2), 441000);
    EXPECT_EQ(test::ProbeTag(reference, "title"), "Killed");
    ASSERT_GT(fresh.size(), 16 << 20);
    QFile::remove(reference);

    const QString target = work + "/out.mp3";
    const QString old = work + "/old.mp3";
    test::MakeTone(old, 44100, 44100, 1, {"-c:a", "libmp3lame"});
    const QByteArray previous = ReadAll(old);
    const auto beside = [&] {
        QStringList names = QDir(work).entryList(QDir::Files | QDir::Hidden);
        for (const char* known : {"in.wav", "old.mp3", "out.mp3"}) names.removeAll(known);
        return names;
    };
    constexpr int kKills = 30;
    int keptOld = 0, madeNew = 0, leftPending = 0;
    for (int i = 0; i < kKills; ++i) {
        WriteAll(target, previous);
        // Spread over the run and a little past it, where the new file is complete.
        const qint64 at = std::max<qint64>(1, runMs * 5 * (2 * i + 1) / (8 * kKills));
        QProcess child;
        child.start(test::BinDir() + "/quillet-engine", convert + QStringList{target} + mp3);
        ASSERT_TRUE(child.waitForStarted());
        QThread::msleep(static_cast<unsigned long>(at));
        ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
        child.waitForFinished();
        const QByteArray now = ReadAll(target);
        SCOPED_TRACE(QStringLiteral("killed after %1 ms").arg(at).toStdString());
        EXPECT_TRUE(now == previous || now == fresh) << "a target of " << now.size() << " bytes";
        keptOld += now == previous;
        madeNew += now == fresh;
        const QStringList left = beside();
        EXPECT_LE(left.size(), 1) << left.join(' ').toStdString();
        for (const QString& name : left) {
            EXPECT_TRUE(name.startsWith(".out.mp3.quillet-")) << name.toStdString();
            ++leftPending;
        }
    }
    std::printf(
        "%d kills: %d kept the old file, %d found the new one complete, %d left a "
        "pending file\n",
        kKills, keptOld, madeNew, leftPending);
    EXPECT_GT(keptOld, 0);
    EXPECT_GT(leftPending, 0) << "no kill came while the output was being written";
    // The next convert to the same target clears what the killed ones left.
    const ToolResult again = Engine(convert + QStringList{target} + mp3);
    ASSERT_EQ(again.exitCode, 0) << again.err.toStdString();
    EXPECT_EQ(ReadAll(target), fresh);
    EXPECT_TRUE(beside().isEmpty()) << beside().join(' ').toStdString();
}

}  // namespace
}  // namespace quillet
