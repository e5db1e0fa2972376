// Cut and Join with "keep source audio" on, through the commands, judged by ffmpeg, mpg123 and
// oggdec: what is copied, what is re-encoded and why, the tags, the rows and the stop command.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "platform/audio/TAudioInformation2.h"
#include "settings/SettingsFile.h"
#include "support/CompressedOracles.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using test::DecodeWithFfmpeg;
using test::ProbeStream;

// The window's part with real engine objects and a real settings file; prompts are scripted.
class Host : public ConversionHost {
  public:
    explicit Host(const QString& ini) : settings_(ini) {}

    RunState& Run() override { return run; }
    bool IsPlaying() const override { return false; }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    QString RowCaption(int row) const override {
        const size_t i = static_cast<size_t>(row);
        return i < captions.size() && !captions[i].isEmpty()
                   ? captions[i]
                   : QFileInfo(rows.at(i).filePath).fileName();
    }
    ConversionRow Row(int row) const override { return rows.at(static_cast<size_t>(row)); }
    void SetRowStatus(int row, const QString& status) override {
        statuses.at(static_cast<size_t>(row)) = status;
        history.push_back(QStringLiteral("%1:%2").arg(row).arg(status));
    }
    int FormatIndex() const override { return format; }
    SettingsFile& Settings() override { return settings_; }
    TAudioFile2& Reader() override { return reader_; }
    TAudioFile2& Writer() override { return writer_; }
    TAudioFile2LameEnc& Mp3Encoder() override { return encoder_; }
    TAudioInformation2& Information() override { return information_; }
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump(*this);
    }
    void SetProgress(int percent) override { progress.push_back(percent); }
    void ShowConverting() override {}
    void ShowIdle() override {}
    void ShowInformation(const QString& text) override { messages.push_back(text); }
    bool ConfirmOverwrite() override { return true; }
    std::optional<JoinTarget> ChooseJoinTarget(const QString&) override { return joinTarget; }

    void AddRow(const QString& path, int64_t start, int64_t end, const QString& caption = {}) {
        rows.push_back({path, start, end});
        statuses.push_back("unconverted");
        captions.push_back(caption);
    }

    RunState run;
    int format = 0;
    std::vector<ConversionRow> rows;
    std::vector<QString> captions;
    std::vector<QString> statuses;
    std::vector<QString> history;
    std::vector<int> progress;
    std::vector<QString> messages;
    int pumps = 0;
    std::function<void(Host&)> onPump;
    std::optional<JoinTarget> joinTarget;

  private:
    SettingsFile settings_;
    TAudioFile2 reader_;
    TAudioFile2 writer_;
    TAudioFile2LameEnc encoder_;
    TAudioInformation2 information_;
};

std::vector<float> Slice(const std::vector<float>& all, int64_t from, int64_t to, int channels) {
    return std::vector<float>(all.begin() + from * channels, all.begin() + to * channels);
}

double SnrDb(const std::vector<float>& want, const std::vector<float>& got, int64_t from,
             int64_t to, int channels) {
    double signal = 0, noise = 0;
    for (int64_t i = std::max<int64_t>(0, from) * channels;
         i < std::min<int64_t>(to * channels, static_cast<int64_t>(want.size())); ++i) {
        signal += double(want[static_cast<size_t>(i)]) * want[static_cast<size_t>(i)];
        const double e = double(want[static_cast<size_t>(i)]) - got[static_cast<size_t>(i)];
        noise += e * e;
    }
    return noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
}

class KeptAudio : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        outDir_ = dir_.filePath("out");
        host_ = std::make_unique<Host>(dir_.filePath("quillet.ini"));
        const QString wav = dir_.filePath("music.wav");
        test::MakeMusicLikeWav(wav, 44100 * 20, 44100, 2);
        mp3_ = dir_.filePath("music.mp3");
        test::Lame(wav, mp3_, {"-b", "128", "--tt", "Night Train", "--ta", "The Quillets"});
        ogg_ = dir_.filePath("music.ogg");
        test::Ffmpeg(
            {"-i", wav, "-c:a", "libvorbis", "-q:a", "4", "-metadata", "title=Night Train", ogg_});
        wav_ = wav;
    }

    void Settings(const QByteArray& extra) {
        QFile f(dir_.filePath("quillet.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("[cut]\noutput directory=" + outDir_.toUtf8() + "\n" + extra);
    }

    QTemporaryDir dir_;
    QString outDir_;
    QString mp3_, ogg_, wav_;
    std::unique_ptr<Host> host_;
};

// With the choice on, Cut copies an MP3 input's frames (the output keeps the source's 44100 Hz
// and 128 kbit/s where the page says 48000 Hz at 64) and an Ogg Vorbis input's packets, with
// their tags; both decode to the source's samples over the stretch. An input of another kind is
// re-encoded as before, and a stretch that cannot be copied is re-encoded with its row saying so.
TEST_F(KeptAudio, CutCopiesInputsOfTheOutputsKindAndSaysWhenItCannot) {
    Settings("[mp3]\nkeep source audio=1\nbitrate=7\n[ogg]\nkeep source audio=1\n");
    host_->AddRow(mp3_, 3000, 44100 * 7 + 123, "copied.mp3");
    host_->AddRow(wav_, 1000, 50000, "fromwav.wav");
    host_->AddRow(mp3_, 50000, 50300, "short.mp3");  // inside one frame
    CutCommand(*host_).Run();
    ASSERT_TRUE(host_->messages.empty()) << host_->messages[0].toStdString();

    const QString copied = outDir_ + "/copied.mp3";
    EXPECT_EQ(host_->statuses[0], "finish");
    EXPECT_EQ(host_->statuses[1], "finish");
    EXPECT_EQ(host_->statuses[2],
              "finish, re-encoded: the stretch starts and ends inside one MP3 frame");
    EXPECT_EQ(ProbeStream(copied, "sample_rate"), "44100");
    EXPECT_TRUE(DecodeWithFfmpeg(copied) ==
                Slice(DecodeWithFfmpeg(mp3_), 3000, 44100 * 7 + 123, 2));
    EXPECT_EQ(test::ProbeTag(copied, "title"), "Night Train");
    EXPECT_EQ(test::ProbeTag(copied, "artist"), "The Quillets");
    // The WAV input and the stretch that could not be copied: re-encoded by the page's settings
    // (64 kbit/s, and the conversion's own 48000 Hz), as without the choice.
    for (const char* name : {"/fromwav.mp3", "/short.mp3"}) {
        EXPECT_EQ(ProbeStream(outDir_ + name, "sample_rate"), "48000") << name;
        EXPECT_EQ(ProbeStream(outDir_ + name, "bit_rate"), "64000") << name;
    }
    EXPECT_TRUE(std::find(host_->progress.begin(), host_->progress.end(), 100) !=
                host_->progress.end());
    EXPECT_EQ(host_->progress.back(), 0);

    host_->rows = {{ogg_, 12345, 44100 * 9}};
    host_->captions = {};
    host_->statuses = {"unconverted"};
    host_->format = 3;
    CutCommand(*host_).Run();
    const QString ogg = outDir_ + "/music.ogg";
    EXPECT_EQ(host_->statuses[0], "finish");
    const std::vector<int16_t> all = test::DecodeWithOggdec(ogg_);
    EXPECT_TRUE(test::DecodeWithOggdec(ogg) ==
                std::vector<int16_t>(all.begin() + 12345 * 2, all.begin() + 44100 * 9 * 2));
    EXPECT_EQ(test::ProbeTag(ogg, "title"), "Night Train");
}

// Without the key, or with it off, Cut re-encodes by the page's settings exactly as before: the
// conversion's own default is 48000 Hz.
TEST_F(KeptAudio, WithoutTheChoiceCutReencodesAsBefore) {
    for (const QByteArray& ini : {QByteArray(), QByteArray("[mp3]\nkeep source audio=0\n")}) {
        Settings(ini);
        host_->rows.clear();
        host_->statuses.clear();
        host_->AddRow(mp3_, 3000, 90000);
        CutCommand(*host_).Run();
        EXPECT_EQ(host_->statuses[0], "finish");
        EXPECT_EQ(ProbeStream(outDir_ + "/music.mp3", "sample_rate"), "48000");
    }
}

struct JoinCase {
    std::vector<std::pair<int64_t, int64_t>> stretches;
};

// A Join of three stretches of one MP3 with the choice on: FFmpeg and mpg123 decode it to the
// three ranges one after another, no sample more or less; the copied frames' samples are the
// source's bit for bit, and only around each join (the few re-encoded frames) do they differ,
// by what re-encoding gives.
TEST_F(KeptAudio, JoinOfThreeStretchesOfOneMp3IsContinuousToTheSample) {
    Settings("[mp3]\nkeep source audio=1\n");
    const std::vector<float> source = DecodeWithFfmpeg(mp3_);
    const std::vector<float> sourceMpg123 = test::DecodeWithMpg123(mp3_);
    // The second and third stretches start a whole number of frames after the one before ends,
    // so all three keep their frames; in the second case the second stretch does not.
    const JoinCase cases[] = {
        {{{10000, 200000}, {200000 + 1152 * 40, 500000}, {500000 + 1152 * 31, 800000}}},
        {{{5000, 150000}, {300007, 420000}, {600123, 800000}}},
    };
    for (const JoinCase& c : cases) {
        const QString out = dir_.filePath("joined.mp3");
        host_->rows.clear();
        host_->statuses.clear();
        std::vector<float> want, wantMpg123;
        std::vector<int64_t> joins;
        for (const auto& [a, b] : c.stretches) {
            host_->AddRow(mp3_, a, b);
            const std::vector<float> part = Slice(source, a, b, 2);
            const std::vector<float> partMpg123 = Slice(sourceMpg123, a, b, 2);
            want.insert(want.end(), part.begin(), part.end());
            wantMpg123.insert(wantMpg123.end(), partMpg123.begin(), partMpg123.end());
            joins.push_back(static_cast<int64_t>(want.size()) / 2);
        }
        joins.pop_back();
        // What re-encoding gives: the same Join by the re-encoding road, at the source's rate
        // and bitrate and LAME's best quality, as the re-encoded frames are made.
        Settings("[mp3]\nfrequency=7\nbitrate=11\nquality=0\n");
        host_->joinTarget = JoinTarget{dir_.filePath("reencoded.mp3"), 0};
        JoinCommand(*host_).Run();
        const std::vector<float> wantReencoded = DecodeWithFfmpeg(dir_.filePath("reencoded.mp3"));
        ASSERT_EQ(wantReencoded.size(), want.size());
        Settings("[mp3]\nkeep source audio=1\n");
        host_->joinTarget = JoinTarget{out, 0};
        JoinCommand(*host_).Run();
        for (const QString& status : host_->statuses) EXPECT_EQ(status, "finish");
        ASSERT_TRUE(host_->messages.empty()) << host_->messages[0].toStdString();

        const std::vector<float> got = DecodeWithFfmpeg(out);
        ASSERT_EQ(got.size(), want.size());
        const std::vector<float> gotMpg123 = test::DecodeWithMpg123(out);
        ASSERT_EQ(gotMpg123.size(), want.size());
        const test::LameTag tag = test::ReadLameTag(out);
        EXPECT_TRUE(tag.tagCrcOk);
        EXPECT_TRUE(tag.musicCrcOk);

        // Where the samples differ, by stretch.
        int64_t exactFrames = 0;
        const int64_t total = static_cast<int64_t>(want.size()) / 2;
        for (int64_t f = 0; f < total; ++f)
            if (got[static_cast<size_t>(2 * f)] == want[static_cast<size_t>(2 * f)] &&
                got[static_cast<size_t>(2 * f + 1)] == want[static_cast<size_t>(2 * f + 1)])
                ++exactFrames;
        const bool allAligned = &c == &cases[0];
        if (allAligned) {
            // Only the re-encoded frames around each join (and the copied frame after them,
            // whose overlap comes from a re-encoded one) differ: within four frames of it.
            for (int64_t f = 0; f < total; ++f) {
                if (got[static_cast<size_t>(2 * f)] == want[static_cast<size_t>(2 * f)]) continue;
                const bool nearJoin = std::any_of(joins.begin(), joins.end(), [&](int64_t j) {
                    return std::llabs(f - j) < 4 * 1152;
                });
                ASSERT_TRUE(nearJoin) << "sample " << f << " differs far from every join";
            }
            EXPECT_GT(exactFrames, total - 2 * 8 * 1152);
        } else {
            // The longest stretch keeps its frames.
            EXPECT_GT(exactFrames, 800000 - 600123 - 8 * 1152);
        }
        for (int64_t j : joins) {
            const double snr = SnrDb(want, got, j - 3 * 1152, j + 3 * 1152, 2);
            const double snrMpg123 = SnrDb(wantMpg123, gotMpg123, j - 3 * 1152, j + 3 * 1152, 2);
            const double reencodedSnr = SnrDb(want, wantReencoded, j - 3 * 1152, j + 3 * 1152, 2);
            std::printf(
                "[ join at %lld ] SNR %.1f dB (FFmpeg), %.1f dB (mpg123); the re-encoding "
                "road gives %.1f dB there\n",
                static_cast<long long>(j), snr, snrMpg123, reencodedSnr);
            // A gap, a shift or a click at the join would cost far more than these 2 dB.
            EXPECT_GT(snr, reencodedSnr - 2);
            EXPECT_GT(snrMpg123, reencodedSnr - 2);
        }
        std::printf("[ join ] %s: %.1f %% of the samples bit-identical, SNR overall %.1f dB\n",
                    allAligned ? "aligned" : "unaligned", 100.0 * exactFrames / total,
                    SnrDb(want, got, 0, total, 2));
    }
}

// Join re-encodes, and every row says why, when a stretch is of another kind, when the rates
// differ, and for Ogg Vorbis; a single Ogg Vorbis stretch is copied.
TEST_F(KeptAudio, JoinSaysWhyItReencodes) {
    Settings("[mp3]\nkeep source audio=1\n[ogg]\nkeep source audio=1\n");
    const QString other = dir_.filePath("other.mp3");
    test::Ffmpeg({"-i", wav_, "-ar", "48000", "-c:a", "libmp3lame", other});
    host_->AddRow(mp3_, 0, 44100);
    host_->AddRow(other, 0, 48000);
    host_->joinTarget = JoinTarget{dir_.filePath("mixed.mp3"), 0};
    JoinCommand(*host_).Run();
    EXPECT_EQ(host_->statuses[0],
              "finish, re-encoded: the stretches differ in sample rate or channels");
    EXPECT_EQ(host_->statuses[1], host_->statuses[0]);
    EXPECT_TRUE(QFileInfo::exists(dir_.filePath("mixed.mp3")));

    host_->rows = {{mp3_, 0, 44100}, {wav_, 0, 44100}};
    host_->joinTarget = JoinTarget{dir_.filePath("mixed2.mp3"), 0};
    host_->statuses = {"unconverted", "unconverted"};
    JoinCommand(*host_).Run();
    EXPECT_EQ(host_->statuses[1], "finish, re-encoded: music.wav is not MP3");

    host_->rows = {{ogg_, 0, 44100}, {ogg_, 88200, 132300}};
    host_->statuses = {"unconverted", "unconverted"};
    host_->joinTarget = JoinTarget{dir_.filePath("joined.ogg"), 3};
    JoinCommand(*host_).Run();
    EXPECT_EQ(host_->statuses[0],
              "finish, re-encoded: Ogg Vorbis stretches are joined by re-encoding");

    host_->rows = {{ogg_, 1234, 99999}, {ogg_, 5, 5}};
    host_->statuses = {"unconverted", "unconverted"};
    JoinCommand(*host_).Run();
    EXPECT_EQ(host_->statuses[0], "finish");
    EXPECT_EQ(host_->statuses[1], "finish");
    const std::vector<int16_t> all = test::DecodeWithOggdec(ogg_);
    EXPECT_TRUE(test::DecodeWithOggdec(dir_.filePath("joined.ogg")) ==
                std::vector<int16_t>(all.begin() + 1234 * 2, all.begin() + 99999 * 2));
}

// Stop during the lossless Join: the rows joined so far end "finish", the rest keep their status,
// and the output is a whole MP3 of what was joined until then, exact to the sample.
TEST_F(KeptAudio, StopDuringAJoinKeepsWhatWasJoined) {
    Settings("[mp3]\nkeep source audio=1\n");
    host_->AddRow(mp3_, 0, 200000);
    host_->AddRow(mp3_, 300000, 500000);
    host_->AddRow(mp3_, 600000, 800000);
    host_->joinTarget = JoinTarget{dir_.filePath("stopped.mp3"), 0};
    host_->onPump = [](Host& h) {
        if (h.statuses[1] == "Converting") h.run.IsConverting = false;
    };
    JoinCommand(*host_).Run();
    EXPECT_EQ(host_->statuses[0], "finish");
    EXPECT_EQ(host_->statuses[1], "finish");
    EXPECT_EQ(host_->statuses[2], "unconverted");
    const std::vector<float> got = DecodeWithFfmpeg(dir_.filePath("stopped.mp3"));
    const int64_t frames = static_cast<int64_t>(got.size()) / 2;
    EXPECT_GE(frames, 200000);
    EXPECT_LT(frames, 400000);
    EXPECT_GT(SnrDb(DecodeWithFfmpeg(mp3_), got, 0, 190000, 2), 15.0);
    EXPECT_EQ(static_cast<int64_t>(test::DecodeWithMpg123(dir_.filePath("stopped.mp3")).size()),
              frames * 2);
}

}  // namespace
}  // namespace quillet
