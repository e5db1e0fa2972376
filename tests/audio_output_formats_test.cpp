// The one list of output formats: the texts the window and the save dialog show, and how a
// path's extension finds its format.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/audio/AudioEncoder.h"
#include "platform/audio/OutputFormats.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

TEST(OutputFormats, TextsInIndexOrder) {
    EXPECT_EQ(OutputFormatNames(), QStringList({"MP3", "WAV", "WMA", "OGG"}));
    EXPECT_EQ(OutputSaveFilters().join(";;"),
              "MP3 Files(*.mp3);;WAV Files(*.wav);;WMA Files(*.wma);;OGG Files(*.ogg)");
    const char* extensions[] = {".mp3", ".wav", ".wma", ".ogg"};
    const OutputKind kinds[] = {OutputKind::Mp3, OutputKind::Wav, OutputKind::Wma, OutputKind::Ogg};
    ASSERT_EQ(OutputFormats().size(), 4u);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(OutputFormatAt(i), nullptr);
        EXPECT_STREQ(OutputFormatAt(i)->extension, extensions[i]);
        EXPECT_EQ(OutputFormatAt(i)->kind, kinds[i]);
        EXPECT_EQ(&OutputFormatOf(kinds[i]), OutputFormatAt(i));
    }
    EXPECT_EQ(OutputFormatAt(-1), nullptr);
    EXPECT_EQ(OutputFormatAt(4), nullptr);
    EXPECT_EQ(OutputExtensionsText(), ".mp3, .wav, .wma or .ogg");
}

TEST(OutputFormats, APathFindsItsFormatByExtensionInAnyCase) {
    const struct {
        const char* path;
        int index;  // -1: none
    } cases[] = {{"/music/a.mp3", 0}, {"B.WAV", 1}, {"c.d.Wma", 2}, {"x/y.ogg", 3},
                 {"song.flac", -1},   {"song", -1}, {"mp3", -1},    {"/a.mp3/b", -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(OutputFormatOfPath(c.path), c.index < 0 ? nullptr : OutputFormatAt(c.index));
    }
}

// Each descriptor's muxer and encoder make the container and codec its extension promises.
TEST(OutputFormats, EachMakesItsContainer) {
    QTemporaryDir dir;
    const char* containers[] = {"mp3", "wav", "asf", "ogg"};
    const char* codecs[] = {"mp3", "pcm_s16le", "wmav2", "vorbis"};
    std::vector<float> tone(2 * 4410, 0.25f);
    for (int i = 0; i < 4; ++i) {
        const OutputFormatInfo& format = *OutputFormatAt(i);
        SCOPED_TRACE(format.name);
        const QString out = dir.filePath(QStringLiteral("out") + format.extension);
        AudioEncoder encoder(out, format.kind, OutputSettings{});
        encoder.SetSourceFormat(44100, 2);
        encoder.Write(tone.data(), 4410);
        encoder.Finish();
        const test::ToolResult probe = test::RunTool(
            "ffprobe",
            {"-v", "error", "-show_entries", "format=format_name", "-of", "csv=p=0", out});
        EXPECT_EQ(QString::fromUtf8(probe.out).trimmed(), containers[i]);
        EXPECT_EQ(test::ProbeStream(out, "codec_name"), codecs[i]);
    }
}

}  // namespace
}  // namespace quillet
