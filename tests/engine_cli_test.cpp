// quillet-engine as scripts use it: its output line, its files and its exit codes.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
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
};

TEST_F(EngineCli, ConvertWritesEachKindWithItsOptionAndTheTags) {
    const ConvertCase cases[] = {
        {"c.mp3", {"--mp3", "48000,192,2,5"}, "mp3", 48000, 2},
        {"vbr.mp3", {"--mp3", "44100,128,1,5,vbr,128,4"}, "mp3", 44100, 1},
        {"c.wav", {"--wav", "22050,1,8"}, "pcm_u8", 22050, 1},
        {"own.wav", {}, "pcm_s16le", 44100, 2},
        {"c.wma", {"--wma", "16"}, "wmav2", 44100, 1},
        {"c.ogg", {"--ogg", "32000,2,96,128,64,-1"}, "vorbis", 32000, 2},
        {"q.ogg", {"--ogg", "44100,1,128,128,128,300"}, "vorbis", 44100, 1},
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
        const int64_t expected = int64_t{22050} * c.rate / 44100;  // 0.5 s
        EXPECT_GE(frames, expected - 1);
        EXPECT_LE(frames, expected + (QString(c.codec) == "wmav2" ? 2047 : 1));
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

}  // namespace
}  // namespace quillet
