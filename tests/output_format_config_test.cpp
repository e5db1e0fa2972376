#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "convert/OutputFormatConfig.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "settings/SettingsFile.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::ProbeStream;

class OutputFormatConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        iniPath_ = dir_.filePath("quillet.ini");
        source_ = dir_.filePath("source.wav");
        test::MakeTone(source_, 22050, 22050, 1);
    }

    void WriteIni(const QByteArray& text) {
        QFile f(iniPath_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    OutputFormatResult Configure(int format, ConvertCommand command = ConvertCommand::Cut) {
        SettingsFile settings(iniPath_);
        return ConfigureOutputFormat(format, command, settings, writer_, encoder_);
    }

    // Writes the source (22050 Hz mono) through the configured writer and returns the output.
    QString Encode(const QString& extension) {
        const QString out = dir_.filePath("out" + extension);
        TAudioFile2 reader;
        reader.OpenForRead(source_, 0, 1);
        writer_.CreateForWrite(out, 0);
        writer_.SetSourceFormat(reader.SampleRate(), reader.Channels());
        for (SampleArray block = reader.ReadSamples(4410); !block.Empty();
             block = reader.ReadSamples(4410))
            writer_.WriteSamples(block);
        writer_.Close();
        return out;
    }

    QTemporaryDir dir_;
    QString iniPath_;
    QString source_;
    TAudioFile2 writer_;
    TAudioFile2LameEnc encoder_;
};

TEST_F(OutputFormatConfigTest, WithoutASettingsFileTheConversionDefaultsApply) {
    OutputFormatResult mp3 = Configure(OutputMp3);
    ASSERT_TRUE(mp3.ok) << mp3.message.toStdString();
    EXPECT_EQ(mp3.extension, ".mp3");
    const TAudioFile2LameEnc::Settings& s = encoder_.Get();
    EXPECT_EQ(s.sampleRate, 48000);
    EXPECT_EQ(s.bitrate, 128);
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.quality, 9);
    EXPECT_TRUE(s.constantBitrate);
    QString out = Encode(mp3.extension);
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "48000");
    EXPECT_EQ(ProbeStream(out, "channels"), "2");
    EXPECT_EQ(ProbeStream(out, "bit_rate"), "128000");

    ASSERT_TRUE(Configure(OutputWav).ok);
    out = Encode(".wav");
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "44100");
    EXPECT_EQ(ProbeStream(out, "channels"), "2");
    EXPECT_EQ(ProbeStream(out, "codec_name"), "pcm_s16le");

    // Profile 10: "WMA9 44KHz, 128Kbps, Stereo, CBR".
    ASSERT_TRUE(Configure(OutputWma).ok);
    out = Encode(".wma");
    EXPECT_EQ(ProbeStream(out, "codec_name"), "wmav2");
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "44100");
    EXPECT_EQ(ProbeStream(out, "channels"), "2");
    EXPECT_EQ(ProbeStream(out, "bit_rate"), "128000");

    // Fixed bitrate mode: (48000, 2, 128, 128, 128, -1).
    ASSERT_TRUE(Configure(OutputOgg).ok);
    out = Encode(".ogg");
    EXPECT_EQ(ProbeStream(out, "codec_name"), "vorbis");
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "48000");
    EXPECT_EQ(ProbeStream(out, "channels"), "2");
    EXPECT_EQ(ProbeStream(out, "bit_rate"), "128000");
}

TEST_F(OutputFormatConfigTest, Mp3VariableBitrateSwitchIsComparedWithZeroAndOne) {
    WriteIni("[mp3]\nenable vbr=1\nvbr bitrate=13\nfrequency=7\nchannel=0\nbitrate=9\n");
    ASSERT_TRUE(Configure(OutputMp3).ok);
    EXPECT_FALSE(encoder_.Get().constantBitrate);
    EXPECT_EQ(encoder_.Get().vbrBitrate, 192);
    EXPECT_EQ(encoder_.Get().vbrQuality, 5);
    EXPECT_EQ(encoder_.Get().sampleRate, 44100);
    EXPECT_EQ(encoder_.Get().channels, 1);
    EXPECT_EQ(encoder_.Get().bitrate, 96);

    // 2 is neither: the mode and the VBR values stay as the last call left them.
    WriteIni("[mp3]\nenable vbr=2\nvbr bitrate=3\nvbr quality=1\n");
    ASSERT_TRUE(Configure(OutputMp3).ok);
    EXPECT_FALSE(encoder_.Get().constantBitrate);
    EXPECT_EQ(encoder_.Get().vbrBitrate, 192);
    EXPECT_EQ(encoder_.Get().vbrQuality, 5);
    EXPECT_EQ(encoder_.Get().sampleRate, 48000);
}

TEST_F(OutputFormatConfigTest, Mp3FormatTheEncoderCannotMakeIsRefused) {
    // MPEG-2.5 at 8000 Hz stops at 64 kbit/s.
    WriteIni("[mp3]\nfrequency=0\nbitrate=16\n");
    const OutputFormatResult r = Configure(OutputMp3, ConvertCommand::Join);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message,
              "This MP3 format not supported, please try another bit rate or frequency.");
}

TEST_F(OutputFormatConfigTest, WavModes) {
    // Mode 1 makes no format call: a fresh writer keeps the source's own format.
    WriteIni("[wav]\nmode=1\n");
    OutputFormatResult r = Configure(OutputWav);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.extension, ".wav");
    QString out = Encode(r.extension);
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "22050");
    EXPECT_EQ(ProbeStream(out, "channels"), "1");

    WriteIni("[wav]\nmode=2\nfrequency=3\nchannel=1\nbit=0\n");
    ASSERT_TRUE(Configure(OutputWav).ok);
    out = Encode(".wav");
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "16000");
    EXPECT_EQ(ProbeStream(out, "channels"), "2");
    EXPECT_EQ(ProbeStream(out, "codec_name"), "pcm_u8");

    // An unknown mode leaves the last format in force.
    WriteIni("[wav]\nmode=7\n");
    ASSERT_TRUE(Configure(OutputWav).ok);
    out = Encode(".wav");
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "16000");
    EXPECT_EQ(ProbeStream(out, "codec_name"), "pcm_u8");
}

TEST_F(OutputFormatConfigTest, WmaProfileIsTheStoredIndexPlusOne) {
    WriteIni("[wma]\nformat=0\n");  // 1: "WMA9 48KHz, 192Kbps, Stereo, CBR"
    ASSERT_TRUE(Configure(OutputWma).ok);
    QString out = Encode(".wma");
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "48000");
    EXPECT_EQ(ProbeStream(out, "bit_rate"), "192000");

    WriteIni("[wma]\nformat=46\n");  // 47, the last profile
    EXPECT_TRUE(Configure(OutputWma).ok);
    WriteIni("[wma]\nformat=47\n");
    const OutputFormatResult r = Configure(OutputWma);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.contains("\"format\" in section [wma]")) << r.message.toStdString();
}

TEST_F(OutputFormatConfigTest, OggRefusalsAreWordedByCommand) {
    // Vorbis has no 320 kbit/s at 8000 Hz.
    WriteIni("[ogg]\nfrequency=0\nbitrate=16\n");
    EXPECT_EQ(Configure(OutputOgg, ConvertCommand::Cut).message,
              "This OGG Format not supported, please try another bit rate or frequency.");
    EXPECT_EQ(Configure(OutputOgg, ConvertCommand::Join).message,
              "This OGG format not supported, please try another bit rate or frequency.");

    WriteIni("[ogg]\nenable vbr=1\nfrequency=0\nbitrate=16\nmax bitrate=16\nmin bitrate=16\n");
    EXPECT_EQ(Configure(OutputOgg, ConvertCommand::Cut).message,
              "This OGG format not supported, please try another bit rate or frequency.");
    EXPECT_EQ(Configure(OutputOgg, ConvertCommand::Join).message,
              "This OGG format is not supported, please try another bit rate or frequency.");

    // Quality mode wins over the variable mode and asks nothing.
    WriteIni("[ogg]\nenable quality=1\nenable vbr=1\nfrequency=0\nbitrate=16\n");
    EXPECT_TRUE(Configure(OutputOgg, ConvertCommand::Join).ok);
}

TEST_F(OutputFormatConfigTest, OggFixedModeIgnoresTheStoredUpperAndLowerBitrates) {
    // Upper and lower 8 kbit/s would not fit 128 kbit/s; fixed mode passes 128 for both.
    WriteIni("[ogg]\nfrequency=7\nchannel=1\nbitrate=11\nmax bitrate=0\nmin bitrate=0\n");
    ASSERT_TRUE(Configure(OutputOgg).ok);
    const QString out = Encode(".ogg");
    EXPECT_EQ(ProbeStream(out, "sample_rate"), "44100");
    EXPECT_EQ(ProbeStream(out, "bit_rate"), "128000");
}

TEST_F(OutputFormatConfigTest, OggQualityZeroIsAQualityNotTheBitrateMode) {
    // Noise, so the bitrate follows the quality asked for.
    test::MakeTone(source_, 44100, 44100, 2, {}, "anoisesrc");
    const auto bitrateAt = [this](const QByteArray& quality) {
        WriteIni("[ogg]\nenable quality=1\nquality=" + quality +
                 "\nfrequency=7\nchannel=1\nbitrate=3\nmax bitrate=3\nmin bitrate=3\n");
        EXPECT_TRUE(Configure(OutputOgg).ok);
        const test::ToolResult r =
            test::RunTool("ffprobe", {"-v", "error", "-show_entries", "format=bit_rate", "-of",
                                      "default=nw=1:nk=1", Encode(".ogg")});
        return QString::fromUtf8(r.out).trimmed().toInt();
    };
    // 0 is the best quality; with -1 the 32 kbit/s of the bitrate keys would rule instead.
    EXPECT_GT(bitrateAt("0"), 200000);
    EXPECT_LT(bitrateAt("1000"), 150000);
}

TEST_F(OutputFormatConfigTest, AStoredIndexOutsideItsTableIsRefusedBeforeAnythingChanges) {
    encoder_.SetSampleRate(11025);
    WriteIni("[mp3]\nfrequency=12\n");
    OutputFormatResult r = Configure(OutputMp3);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message,
              "The setting \"frequency\" in section [mp3] of quillet.ini holds 12, which is not a "
              "valid choice. Please choose it again in Options.");
    EXPECT_EQ(encoder_.SampleRate(), 11025);

    const struct {
        int format;
        QByteArray ini;
        const char* named;
    } cases[] = {
        {OutputMp3, "[mp3]\nbitrate=-1\n", "\"bitrate\" in section [mp3] of quillet.ini holds -1"},
        {OutputMp3, "[mp3]\nchannel=2\n", "\"channel\" in section [mp3]"},
        {OutputMp3, "[mp3]\nenable vbr=1\nvbr bitrate=17\n", "\"vbr bitrate\" in section [mp3]"},
        {OutputWav, "[wav]\nmode=2\nbit=2\n", "\"bit\" in section [wav]"},
        {OutputWav, "[wav]\nmode=2\nfrequency=9\n", "\"frequency\" in section [wav]"},
        {OutputOgg, "[ogg]\nchannel=-1\n", "\"channel\" in section [ogg]"},
        {OutputOgg, "[ogg]\nenable vbr=1\nmin bitrate=40\n", "\"min bitrate\" in section [ogg]"},
    };
    for (const auto& c : cases) {
        WriteIni(c.ini);
        r = Configure(c.format);
        EXPECT_FALSE(r.ok) << c.ini.toStdString();
        EXPECT_TRUE(r.message.contains(c.named)) << r.message.toStdString();
    }
    // Keys a mode does not use are not judged.
    WriteIni("[wav]\nmode=0\nbit=5\n[ogg]\nmax bitrate=99\n");
    EXPECT_TRUE(Configure(OutputWav).ok);
    EXPECT_TRUE(Configure(OutputOgg).ok);
}

TEST_F(OutputFormatConfigTest, NoFormatChosenIsRefused) {
    for (int format : {-1, 4}) {
        const OutputFormatResult r = Configure(format);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.extension.isEmpty());
        EXPECT_EQ(r.message, "Please choose an output format.");
    }
    EXPECT_EQ(OutputExtension(0), ".mp3");
    EXPECT_EQ(OutputExtension(1), ".wav");
    EXPECT_EQ(OutputExtension(2), ".wma");
    EXPECT_EQ(OutputExtension(3), ".ogg");
}

TEST_F(OutputFormatConfigTest, AnOpenWriterIsClosedAfterASuccessOnly) {
    writer_.CreateForWrite(dir_.filePath("open.wav"), 0);
    WriteIni("[mp3]\nfrequency=0\nbitrate=16\n");
    EXPECT_FALSE(Configure(OutputMp3).ok);
    EXPECT_TRUE(writer_.IsOpen());
    EXPECT_TRUE(Configure(OutputWav).ok);
    EXPECT_FALSE(writer_.IsOpen());
}

}  // namespace
}  // namespace quillet
