#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

#include "common/FileNames.h"
#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "platform/audio/TAudioInformation2.h"
#include "settings/SettingsFile.h"
#include "support/Oracle.h"
#include "support/TmpfsMount.h"

namespace quillet {
namespace {

using test::DecodeWithFfmpeg;
using test::ProbeStream;
using test::ProbeTag;

// A window stand-in with real engine objects and a real settings file; prompts are scripted.
class ScriptedHost : public ConversionHost {
  public:
    explicit ScriptedHost(const QString& iniPath) : settings_(iniPath) {}

    RunState& Run() override { return run; }
    bool IsPlaying() const override { return playing; }

    int RowCount() const override { return static_cast<int>(rows.size()); }
    QString RowCaption(int row) const override { return captions.at(static_cast<size_t>(row)); }
    ConversionRow Row(int row) const override { return rows.at(static_cast<size_t>(row)); }
    void SetRowStatus(int row, const QString& status) override {
        statuses.at(static_cast<size_t>(row)) = status;
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
    void ShowConverting() override { events.push_back("converting"); }
    void ShowIdle() override { events.push_back("idle"); }

    void ShowInformation(const QString& text) override { messages.push_back(text); }
    bool ConfirmOverwrite() override {
        ++overwriteQuestions;
        return overwriteAnswer;
    }
    std::optional<JoinTarget> ChooseJoinTarget(const QString& startFolder) override {
        dialogFolder = startFolder;
        return joinTarget;
    }

    void AddRow(const QString& path, int64_t start, int64_t end, const QString& caption = {}) {
        rows.push_back({path, start, end});
        captions.push_back(caption.isEmpty() ? QFileInfo(path).fileName() : caption);
        statuses.push_back("unconverted");
    }

    RunState run;
    bool playing = false;
    int format = 0;
    std::vector<ConversionRow> rows;
    std::vector<QString> captions;
    std::vector<QString> statuses;
    int pumps = 0;
    std::function<void(ScriptedHost&)> onPump;
    std::vector<int> progress;
    std::vector<std::string> events;
    std::vector<QString> messages;
    bool overwriteAnswer = true;
    int overwriteQuestions = 0;
    std::optional<JoinTarget> joinTarget;
    QString dialogFolder;

  private:
    SettingsFile settings_;
    TAudioFile2 reader_;
    TAudioFile2 writer_;
    TAudioFile2LameEnc encoder_;
    TAudioInformation2 information_;
};

const char* const kExtensions[] = {".mp3", ".wav", ".wma", ".ogg"};
// Frames per codec frame: the length a lossy output may be off by.
const int kFrameSlack[] = {1152, 0, 2048, 2048};

// Normalised correlation of two signals at the best lag within +-maxLag.
double BestCorrelation(const std::vector<float>& a, const std::vector<float>& b, int maxLag) {
    double best = -1;
    const long n = static_cast<long>(std::min(a.size(), b.size()));
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (long i = std::max(0L, static_cast<long>(-lag)); i < n && i + lag < n; ++i) {
            const double x = a[static_cast<size_t>(i)];
            const double y = b[static_cast<size_t>(i + lag)];
            ab += x * y;
            aa += x * x;
            bb += y * y;
        }
        if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
    }
    return best;
}

std::vector<float> Mono(const std::vector<float>& interleaved, int channels) {
    std::vector<float> out(interleaved.size() / static_cast<size_t>(channels));
    for (size_t i = 0; i < out.size(); ++i) out[i] = interleaved[i * static_cast<size_t>(channels)];
    return out;
}

class ConversionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        outDir_ = dir_.filePath("out");
        host_ = std::make_unique<ScriptedHost>(dir_.filePath("quillet.ini"));
        Store("[cut]\noutput directory=" + outDir_.toUtf8() + "\n");
    }

    void Store(const QByteArray& ini) {
        QFile f(dir_.filePath("quillet.ini"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(ini);
    }

    // A rising tone (unique at every lag), titled, of the given frames, rate and channels.
    QString Chirp(const QString& name, int frames, int rate, int channels,
                  const QStringList& codec = {}) {
        const QString path = dir_.filePath(name);
        test::Ffmpeg(
            QStringList{"-f", "lavfi", "-i",
                        QStringLiteral("aevalsrc=0.5*sin(2*PI*(150+300*t)*t):s=%1").arg(rate),
                        "-af",
                        QStringLiteral("atrim=end_sample=%1,aformat=channel_layouts=%2")
                            .arg(frames)
                            .arg(channels == 1 ? "mono" : "stereo"),
                        "-metadata", "title=Chirp " + name} +
            codec + QStringList{path});
        return path;
    }

    QTemporaryDir dir_;
    QString outDir_;
    std::unique_ptr<ScriptedHost> host_;
};

// Every output format from every input format: the chosen stretch, with the tags.
class CutEveryFormat : public ConversionTest,
                       public ::testing::WithParamInterface<std::tuple<int, int>> {};

TEST_P(CutEveryFormat, WritesTheChosenStretchWithItsTags) {
    const auto [in, out] = GetParam();
    const int rate = 44100;
    const QString input = Chirp(QStringLiteral("in%1").arg(kExtensions[in]), 2 * rate, rate, 2);
    Store("[cut]\noutput directory=" + outDir_.toUtf8() +
          "\n[wav]\nmode=1\n[mp3]\nfrequency=7\n"
          "[ogg]\nfrequency=7\n");
    const int64_t start = rate / 2, end = rate / 2 + 44100;
    host_->AddRow(input, start, end, "stretch.x");
    host_->format = out;
    CutCommand(*host_).Run();

    ASSERT_TRUE(host_->messages.empty()) << host_->messages.front().toStdString();
    EXPECT_EQ(host_->statuses[0], "finish");
    EXPECT_FALSE(host_->run.IsConverting);
    const QString output = outDir_ + "/stretch" + kExtensions[out];
    ASSERT_TRUE(QFileInfo::exists(output));
    EXPECT_EQ(ProbeTag(output, "title"), "Chirp " + QFileInfo(input).fileName());

    const std::vector<float> produced = DecodeWithFfmpeg(output, rate, 2);
    const double frames = static_cast<double>(produced.size()) / 2;
    EXPECT_NEAR(frames, static_cast<double>(end - start), kFrameSlack[out] + 1)
        << kExtensions[in] << " -> " << kExtensions[out];
    const std::vector<float> source = DecodeWithFfmpeg(input, rate, 2);
    const std::vector<float> expected(source.begin() + start * 2, source.begin() + end * 2);
    EXPECT_GT(BestCorrelation(Mono(expected, 2), Mono(produced, 2), 64), 0.9)
        << kExtensions[in] << " -> " << kExtensions[out];
}

INSTANTIATE_TEST_SUITE_P(InputsByOutputs, CutEveryFormat,
                         ::testing::Combine(::testing::Range(0, 4), ::testing::Range(0, 4)));

TEST_F(ConversionTest, WavToWavIsExactToTheSample) {
    const QString input = Chirp("exact.wav", 30000, 22050, 2);
    Store("[cut]\noutput directory=" + outDir_.toUtf8() +
          "\n[wav]\nmode=2\nfrequency=4\n"
          "channel=1\nbit=1\n");
    host_->AddRow(input, 1234, 25678);
    host_->format = 1;
    CutCommand(*host_).Run();
    const std::vector<float> source = DecodeWithFfmpeg(input);
    const std::vector<float> produced = DecodeWithFfmpeg(outDir_ + "/exact.wav");
    const std::vector<float> expected(source.begin() + 1234 * 2, source.begin() + 25678 * 2);
    ASSERT_EQ(produced.size(), expected.size());
    EXPECT_TRUE(produced == expected);
}

// Names that are not UTF-8, as old collections hold them: read, and the output named after the
// row's caption written under the same bytes.
TEST_F(ConversionTest, CutWritesTheBytesOfANameThatIsNotUtf8) {
    const QByteArray dir = EncodeFileName(dir_.path());
    const QByteArray wavName = "caf\xe9.wav", mp3Name = "\xc0 la.mp3";
    ASSERT_EQ(::rename(EncodeFileName(Chirp("a.wav", 30000, 22050, 2)).constData(),
                       (dir + "/" + wavName).constData()),
              0);
    ASSERT_EQ(::rename(EncodeFileName(Chirp("b.mp3", 22050, 22050, 2)).constData(),
                       (dir + "/" + mp3Name).constData()),
              0);
    Store("[cut]\noutput directory=" + outDir_.toUtf8() +
          "\n[wav]\nmode=2\nfrequency=4\nchannel=1\nbit=1\n");
    host_->AddRow(DecodeFileName(dir + "/" + wavName), 1234, 25678,
                  DecodeFileName("caf\xe9 live.wav"));
    host_->AddRow(DecodeFileName(dir + "/" + mp3Name), 0, 11025, DecodeFileName(mp3Name));
    host_->format = 1;
    CutCommand(*host_).Run();
    ASSERT_TRUE(host_->messages.empty()) << host_->messages.front().toStdString();
    EXPECT_EQ(host_->statuses, (std::vector<QString>{"finish", "finish"}));

    std::vector<QByteArray> written;
    DIR* out = ::opendir(EncodeFileName(outDir_).constData());
    ASSERT_NE(out, nullptr);
    while (const dirent* e = ::readdir(out))
        if (e->d_name[0] != '.') written.emplace_back(e->d_name);
    ::closedir(out);
    std::sort(written.begin(), written.end());
    const QByteArray cutName = "caf\xe9 live.wav", mp3CutName = "\xc0 la.wav";
    EXPECT_EQ(written, (std::vector<QByteArray>{cutName, mp3CutName}));

    // ffmpeg is given its names through QProcess, in UTF-8: it reads the files through links.
    const auto link = [&](const QByteArray& target, const QByteArray& name) {
        const QByteArray path = dir + "/" + name;
        EXPECT_EQ(::symlink(target.constData(), path.constData()), 0);
        return QString::fromUtf8(path);
    };
    const std::vector<float> source = DecodeWithFfmpeg(link(dir + "/" + wavName, "in.wav"));
    const QString cut = link(EncodeFileName(outDir_) + "/" + cutName, "cut.wav");
    const std::vector<float> produced = DecodeWithFfmpeg(cut);
    ASSERT_GE(source.size(), 25678u * 2);
    const std::vector<float> expected(source.begin() + 1234 * 2, source.begin() + 25678 * 2);
    EXPECT_TRUE(produced == expected);
    EXPECT_EQ(ProbeTag(cut, "title"), "Chirp a.wav");
    const QString mp3Cut = link(EncodeFileName(outDir_) + "/" + mp3CutName, "mp3cut.wav");
    EXPECT_EQ(DecodeWithFfmpeg(mp3Cut).size(), 11025u * 2);
    EXPECT_EQ(ProbeTag(mp3Cut, "title"), "Chirp b.mp3");

    // QTemporaryDir cannot see these names to remove them.
    for (const QByteArray& name :
         {dir + "/" + wavName, dir + "/" + mp3Name, EncodeFileName(outDir_) + "/" + cutName,
          EncodeFileName(outDir_) + "/" + mp3CutName})
        ::unlink(name.constData());
}

TEST_F(ConversionTest, CutGuardsOnEntry) {
    CutCommand(*host_).Run();
    EXPECT_EQ(host_->messages, std::vector<QString>{"Please add file!"});

    host_->AddRow(Chirp("a.wav", 1000, 8000, 1), 0, 1000);
    host_->messages.clear();
    host_->playing = true;
    CutCommand(*host_).Run();
    EXPECT_EQ(host_->messages, std::vector<QString>{"Please stop playing first."});

    host_->messages.clear();
    host_->playing = false;
    host_->run.IsConverting = true;
    CutCommand(*host_).Run();
    EXPECT_TRUE(host_->messages.empty());
    EXPECT_TRUE(host_->events.empty());
    EXPECT_EQ(host_->statuses[0], "unconverted");
    EXPECT_FALSE(QDir(outDir_).exists());
}

TEST_F(ConversionTest, ARefusedFormatChangesNothingButTheFlag) {
    host_->AddRow(Chirp("a.wav", 1000, 8000, 1), 0, 1000);
    host_->format = -1;
    CutCommand(*host_).Run();
    EXPECT_EQ(host_->messages, std::vector<QString>{"Please choose an output format."});
    EXPECT_FALSE(host_->run.IsConverting);
    EXPECT_TRUE(host_->events.empty());
    EXPECT_FALSE(QDir(outDir_).exists());
}

TEST_F(ConversionTest, CutGoesOnPastAMissingFileAndADeclinedOverwrite) {
    const QString a = Chirp("a.wav", 4000, 8000, 1);
    host_->AddRow(dir_.filePath("gone.wav"), 0, 100);
    host_->AddRow(a, 0, 4000, "kept.mp3");
    host_->AddRow(a, 1000, 3000, "b");
    ASSERT_TRUE(QDir().mkdir(outDir_));
    QFile old(outDir_ + "/kept.wav");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    host_->format = 1;
    host_->overwriteAnswer = false;
    CutCommand(*host_).Run();

    EXPECT_EQ(host_->messages,
              std::vector<QString>{dir_.filePath("gone.wav") + " has been removed."});
    EXPECT_EQ(host_->overwriteQuestions, 1);
    EXPECT_EQ(host_->statuses, (std::vector<QString>{"unconverted", "unconverted", "finish"}));
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
    EXPECT_TRUE(QFileInfo::exists(outDir_ + "/b.wav"));
    EXPECT_EQ(host_->events, (std::vector<std::string>{"converting", "idle"}));
    EXPECT_EQ(host_->progress.back(), 0);
    EXPECT_EQ(host_->run.OutputDir, outDir_ + "/");
}

// The tags of a Cut go in before the output replaces the file the user agreed to overwrite: on a
// disk that their cover does not fit, the old file stays and the error ends the Cut.
TEST_F(ConversionTest, ACutWhoseTagsDoNotFitLeavesTheOldFile) {
    const QString source = Chirp("song.wav", 8000, 8000, 1, {"-c:a", "libmp3lame"});
    const QString mp3 = dir_.filePath("song.mp3");
    ASSERT_TRUE(QFile::rename(source, mp3));
    {
        TagLib::MPEG::File f(QFile::encodeName(mp3).constData(), false);
        auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
        frame->setMimeType("image/png");
        QByteArray cover(1536 * 1024, '\0');
        for (int i = 0; i < cover.size(); ++i)
            cover[i] = static_cast<char>((i * 2654435761u) >> 24);
        frame->setPicture(
            TagLib::ByteVector(cover.constData(), static_cast<unsigned>(cover.size())));
        f.ID3v2Tag(true)->addFrame(frame.release());
        ASSERT_TRUE(f.save(TagLib::MPEG::File::ID3v2));
    }
    test::TmpfsMount disk(outDir_, "1m");
    QUILLET_REQUIRE_MOUNT(disk);
    const QString target = outDir_ + "/song.mp3";
    const QByteArray old(5000, 'o');
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(old), old.size());
    }
    host_->AddRow(mp3, 0, 4000, "song.mp3");
    host_->format = 0;
    host_->overwriteAnswer = true;
    try {
        CutCommand(*host_).Run();
        FAIL() << "the Cut reported no error";
    } catch (const AudioError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("No space left on device")) << e.what();
    }
    EXPECT_EQ(host_->overwriteQuestions, 1);
    EXPECT_EQ(host_->statuses, std::vector<QString>{"Converting"});
    // The application's handler still closes the files and resets the bar after this.
    EXPECT_FALSE(host_->run.IsConverting);
    EXPECT_TRUE(host_->run.ConversionFailed);
    QFile after(target);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), old);
    EXPECT_EQ(QDir(outDir_).entryList(QDir::Files | QDir::Hidden), QStringList{"song.mp3"});
}

TEST_F(ConversionTest, OverwriteYesReplacesAReadOnlyFile) {
    host_->AddRow(Chirp("a.wav", 4000, 8000, 1), 0, 4000);
    host_->AddRow(Chirp("b.wav", 8000, 8000, 1), 0, 8000, "a.wav");  // same caption
    ASSERT_TRUE(QDir().mkdir(outDir_));
    host_->format = 1;
    CutCommand(*host_).Run();
    EXPECT_EQ(host_->overwriteQuestions, 1);
    EXPECT_EQ(ProbeStream(outDir_ + "/a.wav", "duration_ts"), "44100");  // 8000 at 44100 Hz
    QFile::setPermissions(outDir_ + "/a.wav", QFileDevice::ReadOwner);
    host_->rows.pop_back();
    host_->captions.pop_back();
    host_->statuses.pop_back();
    CutCommand(*host_).Run();
    EXPECT_EQ(host_->statuses[0], "finish");
    EXPECT_EQ(ProbeStream(outDir_ + "/a.wav", "duration_ts"), "22050");
}

TEST_F(ConversionTest, AnEmptySegmentStillMakesItsFile) {
    host_->AddRow(Chirp("a.wav", 4000, 8000, 1), 2000, 2000);
    host_->format = 1;
    CutCommand(*host_).Run();
    EXPECT_TRUE(QFileInfo::exists(outDir_ + "/a.wav"));
    EXPECT_EQ(host_->statuses[0], "finish");
    EXPECT_EQ(host_->progress, (std::vector<int>{0, 0, 100, 0}));
}

TEST_F(ConversionTest, StopDuringARowFinishesItAndLeavesTheRest) {
    const QString a = Chirp("a.wav", 8000 * 5, 8000, 1);
    for (const char* caption : {"r1", "r2", "r3", "r4"}) host_->AddRow(a, 0, 8000 * 5, caption);
    host_->format = 1;
    int rowTwoFrom = 0;
    host_->onPump = [&rowTwoFrom](ScriptedHost& h) {
        if (h.statuses[1] != "Converting") return;
        if (rowTwoFrom == 0) rowTwoFrom = h.pumps;
        if (h.pumps > rowTwoFrom + 3)
            h.run.IsConverting = false;  // while its first block is written
    };
    CutCommand(*host_).Run();
    EXPECT_EQ(host_->statuses,
              (std::vector<QString>{"finish", "finish", "unconverted", "unconverted"}));
    EXPECT_EQ(ProbeStream(outDir_ + "/r1.wav", "duration_ts"), QString::number(44100 * 5));
    // Row 2 holds its first block, one second of the 8000 Hz mono input.
    EXPECT_NEAR(ProbeStream(outDir_ + "/r2.wav", "duration_ts").toInt(), 44100, 2);
    EXPECT_FALSE(QFileInfo::exists(outDir_ + "/r3.wav"));
    EXPECT_FALSE(host_->Writer().IsOpen());
    EXPECT_EQ(host_->events.back(), "idle");
    EXPECT_EQ(host_->progress.back(), 0);
}

TEST_F(ConversionTest, AnEngineErrorStillBringsTheControlsBack) {
    const QString blocker = dir_.filePath("file-not-folder");
    QFile f(blocker);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    Store("[cut]\noutput directory=" + blocker.toUtf8() + "/sub\n");
    host_->AddRow(Chirp("a.wav", 1000, 8000, 1), 0, 1000);
    host_->format = 1;
    EXPECT_THROW(CutCommand(*host_).Run(), AudioError);
    EXPECT_EQ(host_->events, (std::vector<std::string>{"converting", "idle"}));
    EXPECT_EQ(host_->statuses[0], "Converting");
}

TEST_F(ConversionTest, JoinSumsSegmentsOfDifferentFormats) {
    host_->AddRow(Chirp("m.wav", 22050, 22050, 1), 0, 22050);      // 1 s
    host_->AddRow(Chirp("s.mp3", 88200, 44100, 2), 22050, 66150);  // 1 s
    host_->AddRow(Chirp("o.ogg", 48000, 48000, 2), 12000, 36000);  // 0.5 s
    const QString chosen = dir_.filePath("joined/whole.txt");
    QDir().mkdir(dir_.filePath("joined"));
    for (int format = 0; format < 4; ++format) {
        host_->joinTarget = JoinTarget{chosen, format};
        host_->overwriteAnswer = true;
        JoinCommand(*host_).Run();
        ASSERT_TRUE(host_->messages.empty()) << host_->messages.front().toStdString();
        const QString output = dir_.filePath("joined/whole") + kExtensions[format];
        const std::vector<float> produced = DecodeWithFfmpeg(output, 44100, 2);
        EXPECT_NEAR(static_cast<double>(produced.size()) / 2, 2.5 * 44100, kFrameSlack[format] + 3)
            << kExtensions[format];
        EXPECT_EQ(host_->statuses, (std::vector<QString>{"finish", "finish", "finish"}));
        EXPECT_EQ(host_->progress.back(), 0);
        EXPECT_EQ(*std::max_element(host_->progress.begin(), host_->progress.end()), 100);
    }
    EXPECT_EQ(
        SettingsFile(dir_.filePath("quillet.ini")).ReadString("combine", "output directory", ""),
        dir_.filePath("joined"));
}

TEST_F(ConversionTest, JoinStopsBeforeWritingWhenAnInputIsGone) {
    host_->AddRow(Chirp("a.wav", 1000, 8000, 1), 0, 1000);
    host_->AddRow(dir_.filePath("gone.wav"), 0, 1000);
    host_->joinTarget = JoinTarget{dir_.filePath("j.wav"), 1};
    JoinCommand(*host_).Run();
    ASSERT_EQ(host_->messages.size(), 1u);
    EXPECT_TRUE(host_->messages[0].startsWith(dir_.filePath("gone.wav") + " has been removed."));
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("j.wav")));
    EXPECT_FALSE(host_->run.IsConverting);
    EXPECT_TRUE(host_->events.empty());
}

// Replacing an input with its own cut or with the join would lose it: refused without a question.
TEST_F(ConversionTest, NeitherCommandWritesOverOneOfItsInputs) {
    ASSERT_TRUE(QDir().mkdir(outDir_));
    const QString input = Chirp("out/song.wav", 4000, 8000, 1);
    const QByteArray before = [&] {
        QFile f(input);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(before.isEmpty());
    const QString other = Chirp("other.wav", 2000, 8000, 1);
    host_->AddRow(input, 1000, 2000, "song.wav");
    host_->AddRow(other, 0, 2000, "other.wav");
    host_->format = 1;
    CutCommand(*host_).Run();
    EXPECT_EQ(host_->overwriteQuestions, 0);
    ASSERT_EQ(host_->messages.size(), 1u);
    EXPECT_TRUE(host_->messages[0].startsWith(outDir_ + "/song.wav is the file being cut."));
    EXPECT_EQ(host_->statuses, (std::vector<QString>{"unconverted", "finish"}));

    // Through a link, under another spelling of the name.
    ASSERT_TRUE(QFile::link(input, dir_.filePath("alias.wav")));
    host_->joinTarget = JoinTarget{dir_.filePath("alias.txt"), 1};  // WAV
    JoinCommand(*host_).Run();
    EXPECT_EQ(host_->overwriteQuestions, 0);
    ASSERT_EQ(host_->messages.size(), 2u);
    EXPECT_TRUE(host_->messages[1].startsWith(dir_.filePath("alias.wav") +
                                              " is one of the files being joined."));
    EXPECT_FALSE(host_->run.IsConverting);

    QFile after(input);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

TEST_F(ConversionTest, CutNeverWritesOverTheInputOfAnotherRow) {
    // Row 2, renamed after row 1's file, would have its output land on row 1's input: after
    // the overwrite question row 1's audio would be row 2's.
    ASSERT_TRUE(QDir().mkdir(outDir_));
    const QString first = Chirp("out/song.wav", 4000, 8000, 1);
    const QString second = Chirp("second.wav", 3000, 8000, 2);
    QFile f(first);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    host_->AddRow(second, 0, 3000, "second.wav");
    host_->AddRow(second, 0, 3000, "song.mp3");
    host_->AddRow(first, 0, 4000, "kept.wav");
    ASSERT_TRUE(QFile::link(first, outDir_ + "/link.wav"));
    host_->AddRow(second, 0, 3000, "link.wav");  // the same file under another name
    host_->format = 1;
    host_->overwriteAnswer = true;
    CutCommand(*host_).Run();
    ASSERT_EQ(host_->messages.size(), 2u);
    EXPECT_EQ(host_->messages[0],
              outDir_ + "/song.wav would be written over " + first +
                  ", the file of row 3 of the list. Choose another output folder or rename the "
                  "row.");
    EXPECT_TRUE(host_->messages[1].startsWith(outDir_ + "/link.wav would be written over " + first +
                                              ", the file of row 3"));
    EXPECT_EQ(host_->overwriteQuestions, 0);
    EXPECT_EQ(host_->statuses,
              (std::vector<QString>{"finish", "unconverted", "finish", "unconverted"}));
    QFile after(first);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    EXPECT_EQ(ProbeStream(outDir_ + "/kept.wav", "duration_ts"), "22050");  // at 44.1 kHz
}

TEST_F(ConversionTest, JoinDialogCancelledOrOverwriteDeclined) {
    host_->AddRow(Chirp("a.wav", 1000, 8000, 1), 0, 1000);
    JoinCommand(*host_).Run();  // cancelled
    EXPECT_EQ(host_->dialogFolder, QDir::homePath() + "/Music");
    EXPECT_TRUE(QDir(QDir::homePath() + "/Music").exists());
    EXPECT_TRUE(host_->statuses[0] == "unconverted");

    QFile old(dir_.filePath("j.ogg"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    host_->joinTarget = JoinTarget{dir_.filePath("j.mp3"), 3};
    host_->overwriteAnswer = false;
    JoinCommand(*host_).Run();
    EXPECT_FALSE(host_->run.IsConverting);
    EXPECT_TRUE(host_->events.empty());
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "old");
    // The folder is stored even though nothing was written.
    EXPECT_EQ(host_->Settings().ReadString("combine", "output directory", ""), dir_.path());
}

TEST_F(ConversionTest, JoinOfEmptySegmentsMakesAnEmptyFile) {
    host_->AddRow(Chirp("a.wav", 1000, 8000, 1), 500, 500);
    host_->AddRow(Chirp("b.wav", 1000, 8000, 1), 0, 0);
    host_->joinTarget = JoinTarget{dir_.filePath("j.wav"), 1};
    JoinCommand(*host_).Run();
    EXPECT_TRUE(QFileInfo::exists(dir_.filePath("j.wav")));
    EXPECT_EQ(host_->statuses, (std::vector<QString>{"finish", "finish"}));
}

TEST_F(ConversionTest, JoinStopDuringTheSecondRowKeepsWhatWasCopied) {
    const QString a = Chirp("a.wav", 8000 * 10, 8000, 1);
    for (int i = 0; i < 3; ++i) host_->AddRow(a, 0, 8000 * 10);
    host_->joinTarget = JoinTarget{dir_.filePath("j.wav"), 1};
    Store("[wav]\nmode=1\n");
    int rowTwoFrom = 0;
    host_->onPump = [&rowTwoFrom](ScriptedHost& h) {
        if (h.statuses[1] != "Converting") return;
        if (rowTwoFrom == 0) rowTwoFrom = h.pumps;
        if (h.pumps > rowTwoFrom + 3)
            h.run.IsConverting = false;  // while its first block is written
    };
    JoinCommand(*host_).Run();
    EXPECT_EQ(host_->statuses, (std::vector<QString>{"finish", "finish", "unconverted"}));
    const int frames = ProbeStream(dir_.filePath("j.wav"), "duration_ts").toInt();
    EXPECT_EQ(frames, 8000 * 10 + 8000 * 4);  // row 1 and the first block of row 2
    EXPECT_FALSE(host_->Writer().IsOpen());
}

}  // namespace
}  // namespace quillet
