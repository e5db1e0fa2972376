// Carrying descriptive information between the four output kinds, judged by ffprobe.
#include <gtest/gtest.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <tuple>

#include "platform/audio/AudioEncoder.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/OutputSettings.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioInformation2.h"
#include "support/Oracle.h"
#include "support/TmpfsMount.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE

namespace quillet {
namespace {

using test::Ffmpeg;
using test::RunTool;

const QString kTitle = QString::fromUtf8("Šťastné čísla — 東京");
const QString kArtist = QString::fromUtf8("Zdeněk & Ørsted");
const QString kAlbum = "Album of Tests";
const QString kDate = "2021";
const QString kTrack = "7";
const QString kGenre = "Jazz";
const QString kComment = QString::fromUtf8("Poznámka: ünïcödé");
const QString kPictureDescription = "front";

const QStringList kKinds{"mp3", "wav", "wma", "ogg"};

QByteArray Hash(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What ffprobe sees in a file: every format and stream tag (keys in lower case) and the bytes
// of the first attached picture, extracted by ffmpeg.
struct Probed {
    std::map<QString, QString> tags;
    bool hasPicture = false;
    QByteArray picture;
};

Probed Probe(const QString& path, const QString& scratch) {
    Probed result;
    const auto r = RunTool("ffprobe", {"-v", "error", "-show_entries",
                                       "format_tags:stream_tags:stream=index,codec_type:"
                                       "stream_disposition=attached_pic",
                                       "-of", "json", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(r.out).object();
    auto take = [&](const QJsonObject& tags) {
        for (auto it = tags.begin(); it != tags.end(); ++it)
            result.tags.emplace(it.key().toLower(), it.value().toString());
    };
    take(root["format"].toObject()["tags"].toObject());
    for (const auto& s : root["streams"].toArray()) {
        const QJsonObject stream = s.toObject();
        if (stream["codec_type"].toString() == "audio") take(stream["tags"].toObject());
        if (stream["disposition"].toObject()["attached_pic"].toInt() == 1 && !result.hasPicture) {
            result.hasPicture = true;
            const QString out = scratch + "/picture.bin";
            QFile::remove(out);
            Ffmpeg({"-i", path, "-map", QString("0:%1").arg(stream["index"].toInt()), "-c", "copy",
                    "-f", "image2", out});
            result.picture = ReadAll(out);
        }
    }
    return result;
}

QStringList MetadataArgs() {
    return {"-metadata", "title=" + kTitle,    "-metadata", "artist=" + kArtist,
            "-metadata", "album=" + kAlbum,    "-metadata", "date=" + kDate,
            "-metadata", "track=" + kTrack,    "-metadata", "genre=" + kGenre,
            "-metadata", "comment=" + kComment};
}

// Kinds FFmpeg cannot give a cover get it from TagLib, each with its own picture structure.
void AttachCover(const QString& path, const QString& kind, const QByteArray& png) {
    const QByteArray name = QFile::encodeName(path);
    const TagLib::ByteVector data(png.constData(), static_cast<unsigned>(png.size()));
    if (kind == "wav") {
        TagLib::RIFF::WAV::File f(name.constData(), false);
        auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
        frame->setMimeType("image/png");
        frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        frame->setDescription(kPictureDescription.toStdString());
        frame->setPicture(data);
        f.ID3v2Tag()->addFrame(frame.release());
        ASSERT_TRUE(f.save(TagLib::RIFF::WAV::File::ID3v2, TagLib::File::StripNone));
    } else if (kind == "wma") {
        TagLib::ASF::File f(name.constData(), false);
        TagLib::ASF::Picture picture;
        picture.setMimeType("image/png");
        picture.setType(TagLib::ASF::Picture::FrontCover);
        picture.setDescription(kPictureDescription.toStdString());
        picture.setPicture(data);
        f.tag()->setAttribute("WM/Picture", TagLib::ASF::Attribute(picture));
        ASSERT_TRUE(f.save());
    } else if (kind == "ogg") {
        TagLib::Ogg::Vorbis::File f(name.constData(), false);
        auto picture = std::make_unique<TagLib::FLAC::Picture>();
        picture->setMimeType("image/png");
        picture->setType(TagLib::FLAC::Picture::FrontCover);
        picture->setDescription(kPictureDescription.toStdString());
        picture->setData(data);
        f.tag()->addPicture(picture.release());
        ASSERT_TRUE(f.save());
    }
}

class AudioInformationCarry : public ::testing::TestWithParam<std::tuple<QString, QString>> {
  protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        cover_ = dir_->path() + "/cover.png";
        Ffmpeg({"-f", "lavfi", "-i", "testsrc=s=48x32", "-frames:v", "1", cover_});
        for (const QString& kind : kKinds) {
            const QString path = Source(kind);
            if (kind == "mp3") {
                Ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=d=0.5", "-i", cover_, "-map", "0",
                                   "-map", "1", "-c:v", "copy", "-disposition:v", "attached_pic",
                                   "-metadata:s:v", "comment=Cover (front)", "-metadata:s:v",
                                   "title=" + kPictureDescription} +
                       MetadataArgs() + QStringList{path});
            } else {
                Ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=d=0.5"} + MetadataArgs() +
                       QStringList{path});
                AttachCover(path, kind, ReadAll(cover_));
            }
        }
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static QString Source(const QString& kind) { return dir_->path() + "/source." + kind; }
    static QString Target(const QString& from, const QString& kind) {
        const QString path = dir_->path() + "/from-" + from + "." + kind;
        // A plain output with no descriptive tags, as the writer leaves it.
        Ffmpeg({"-f", "lavfi", "-i", "sine=d=0.5", "-map_metadata", "-1", path});
        return path;
    }

    static std::unique_ptr<QTemporaryDir> dir_;
    static QString cover_;
};

std::unique_ptr<QTemporaryDir> AudioInformationCarry::dir_;
QString AudioInformationCarry::cover_;

TEST_P(AudioInformationCarry, TextAndCoverReachTheTarget) {
    const auto& [from, to] = GetParam();
    const QString source = Source(from);
    const QString target = Target(from, to);
    ASSERT_FALSE(Probe(target, dir_->path()).tags.count("title"));
    const QByteArray sourceHash = Hash(source);

    TAudioInformation2 info;
    info.SetOptionFlag(true);
    info.LoadInformation(source);
    info.SaveInformation(target);

    EXPECT_EQ(Hash(source), sourceHash) << "the source must never be modified";
    const Probed probed = Probe(target, dir_->path());
    auto tag = [&](const char* key) {
        const auto it = probed.tags.find(key);
        return it == probed.tags.end() ? QString("<missing>") : it->second;
    };
    EXPECT_EQ(tag("title"), kTitle);
    EXPECT_EQ(tag("artist"), kArtist);
    EXPECT_EQ(tag("album"), kAlbum);
    // ASF keeps the year in WM/Year, which FFmpeg lists under that name.
    EXPECT_EQ((to == "wma" ? tag("wm/year") : tag("date")).left(4), kDate);
    EXPECT_EQ(tag("track"), kTrack);
    EXPECT_EQ(tag("genre"), kGenre);
    EXPECT_EQ(tag("comment"), kComment);
    if (to == "wav") {
        // FFmpeg prefers the ID3 chunk; the INFO list must carry the title in UTF-8 as well.
        const QByteArray title = kTitle.toUtf8();
        QByteArray inam("INAM");
        const quint32 size = static_cast<quint32>(title.size() + 1);
        for (int i = 0; i < 4; ++i) inam.append(static_cast<char>((size >> (8 * i)) & 0xff));
        EXPECT_TRUE(ReadAll(target).contains(inam + title)) << "no UTF-8 title in RIFF INFO";
    }
    EXPECT_TRUE(probed.hasPicture) << "no attached picture in the target";
    EXPECT_EQ(probed.picture, ReadAll(cover_)) << "the cover's bytes changed on the way";
    // The audio is still whole and decodable after the rewrite.
    EXPECT_NEAR(test::ProbeStream(target, "duration").toDouble(), 0.5, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    AllPairs, AudioInformationCarry,
    ::testing::Combine(::testing::ValuesIn(kKinds.toVector()),
                       ::testing::ValuesIn(kKinds.toVector())),
    [](const auto& info) {
        return (std::get<0>(info.param) + "_to_" + std::get<1>(info.param)).toStdString();
    });

class AudioInformationEdges : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path(const QString& name) const { return dir_.path() + "/" + name; }
    QTemporaryDir dir_;
};

TEST_F(AudioInformationEdges, UntaggedSourceWritesNothing) {
    for (const QString& kind : kKinds) {
        SCOPED_TRACE(kind.toStdString());
        const QString source = Path("plain-src." + kind);
        const QString target = Path("plain-dst." + kind);
        Ffmpeg({"-f", "lavfi", "-i", "sine=d=0.3", "-map_metadata", "-1", source});
        Ffmpeg({"-f", "lavfi", "-i", "sine=d=0.3", "-map_metadata", "-1", target});
        const QByteArray before = Hash(target);
        TAudioInformation2 info;
        info.LoadInformation(source);
        EXPECT_NO_THROW(info.SaveInformation(target));
        EXPECT_EQ(Hash(target), before);
    }
}

TEST_F(AudioInformationEdges, UnreadableSourceLoadsNothingAndForgetsEarlierTags) {
    const QString tagged = Path("tagged.mp3");
    Ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=d=0.3"} + MetadataArgs() + QStringList{tagged});
    const QString text = Path("letter.mp3");
    {
        QFile f(text);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("Dear reader,\nthis is not audio.\n").repeated(50));
    }
    const QString target = Path("out.ogg");
    Ffmpeg({"-f", "lavfi", "-i", "sine=d=0.3", "-map_metadata", "-1", target});
    const QByteArray textHash = Hash(text);

    TAudioInformation2 info;
    info.LoadInformation(tagged);
    EXPECT_NO_THROW(info.LoadInformation(text));
    EXPECT_NO_THROW(info.LoadInformation(Path("missing.mp3")));
    const QByteArray before = Hash(target);
    EXPECT_NO_THROW(info.SaveInformation(target));
    EXPECT_EQ(Hash(target), before) << "tags of an earlier load leaked into this save";
    EXPECT_EQ(Hash(text), textHash);
}

TEST_F(AudioInformationEdges, SaveIntoMissingFileOrFolderNamesIt) {
    const QString source = Path("src.wav");
    Ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=d=0.3"} + MetadataArgs() + QStringList{source});
    TAudioInformation2 info;
    info.LoadInformation(source);
    for (const QString& bad : {Path("nowhere/out.mp3"), Path("")}) {
        try {
            info.SaveInformation(bad);
            ADD_FAILURE() << "no error for " << bad.toStdString();
        } catch (const AudioError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(QDir::toNativeSeparators(bad)))
                << e.what();
        }
    }
    EXPECT_FALSE(QFile::exists(Path("nowhere/out.mp3")));
}

TEST_F(AudioInformationEdges, SaveIntoSomethingThatIsNotAudioFailsAndLeavesItAlone) {
    const QString source = Path("src.mp3");
    Ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=d=0.3"} + MetadataArgs() + QStringList{source});
    TAudioInformation2 info;
    info.LoadInformation(source);
    for (const QString& kind : kKinds) {
        SCOPED_TRACE(kind.toStdString());
        const QString fake = Path("letter." + kind);
        {
            QFile f(fake);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("Dear reader,\nthis is not audio.\n").repeated(50));
        }
        const QByteArray before = Hash(fake);
        try {
            info.SaveInformation(fake);
            ADD_FAILURE() << "no error";
        } catch (const AudioError& e) {
            EXPECT_TRUE(QString::fromUtf8(e.what()).contains(fake)) << e.what();
        }
        EXPECT_EQ(Hash(fake), before);
    }
}

TEST_F(AudioInformationEdges, SaveReplacesTheTargetsOwnFieldsAndKeepsOthers) {
    const QString source = Path("src.ogg");
    Ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=d=0.3", "-metadata", "title=" + kTitle, source});
    const QString target = Path("dst.mp3");
    Ffmpeg({"-f", "lavfi", "-i", "sine=d=0.3", "-metadata", "title=Old title", "-metadata",
            "publisher=Label", target});
    TAudioInformation2 info;
    info.LoadInformation(source);
    info.SaveInformation(target);
    const Probed probed = Probe(target, dir_.path());
    EXPECT_EQ(probed.tags.at("title"), kTitle);
    ASSERT_TRUE(probed.tags.count("publisher"));
    EXPECT_EQ(probed.tags.at("publisher"), "Label");
}

// Tags saved into a WAV our writer made go after the audio: everything written, but the RIFF
// size, stays byte for byte in place (no rewrite of a long file on the window's thread).
TEST_F(AudioInformationEdges, TagsIntoOurWavLeaveTheAudioInPlace) {
    const QString source = Path("tagged.mp3");
    Ffmpeg(QStringList{"-f", "lavfi", "-i", "sine=d=0.3"} + MetadataArgs() + QStringList{source});
    const QString target = Path("ours.wav");
    std::vector<float> tone(2 * 22050);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = static_cast<float>(i % 100) / 200.0f;
    {
        AudioEncoder writer(target, OutputKind::Wav, OutputSettings{});
        writer.SetSourceFormat(44100, 2);
        writer.Write(tone.data(), static_cast<int64_t>(tone.size() / 2));
        writer.Finish();
    }
    const QByteArray written = ReadAll(target);
    ASSERT_GT(written.size(), 12);
    EXPECT_EQ(written.indexOf("LIST"), -1);  // nothing in front of the audio for a save to move

    TAudioInformation2 info;
    info.LoadInformation(source);
    info.SaveInformation(target);
    const QByteArray saved = ReadAll(target);
    ASSERT_GT(saved.size(), written.size());
    EXPECT_TRUE(saved.mid(8, written.size() - 8) == written.mid(8));
    const Probed probed = Probe(target, dir_.path());
    EXPECT_EQ(probed.tags.at("title"), kTitle);
    EXPECT_EQ(probed.tags.at("artist"), kArtist);
    EXPECT_EQ(test::DecodeWithFfmpeg(target).size(), tone.size());
}

// --- the output replaces its target only once its tags are in ------------------------------

QByteArray RandomBytes(int size, uint32_t seed) {
    QByteArray bytes(size, '\0');
    uint32_t x = seed;
    for (char& c : bytes) {
        x = x * 1664525u + 1013904223u;
        c = static_cast<char>(x >> 24);
    }
    return bytes;
}

// An MP3 source whose ID3v2 tag holds a title and a cover of `coverBytes` bytes.
void MakeSourceWithCover(const QString& path, int coverBytes) {
    Ffmpeg({"-f", "lavfi", "-i", "sine=d=0.3", "-metadata", "title=" + kTitle, path});
    TagLib::MPEG::File f(QFile::encodeName(path).constData(), false);
    auto frame = std::make_unique<TagLib::ID3v2::AttachedPictureFrame>();
    frame->setMimeType("image/png");
    frame->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    const QByteArray cover = RandomBytes(coverBytes, 7);
    frame->setPicture(TagLib::ByteVector(cover.constData(), static_cast<unsigned>(cover.size())));
    f.ID3v2Tag(true)->addFrame(frame.release());
    ASSERT_TRUE(f.save(TagLib::MPEG::File::ID3v2));
}

// The road of a Cut: write, close beside the target, load the source's tags, save them.
PendingFile WriteBeside(const QString& target, double seconds) {
    TAudioFile2 writer;
    writer.CreateForWrite(target, 0);
    writer.SetSourceFormat(44100, 2);
    // Noise, which no encoder makes much smaller.
    std::vector<float> noise(static_cast<size_t>(seconds * 44100) * 2);
    uint32_t x = 3;
    for (float& sample : noise) {
        x = x * 1664525u + 1013904223u;
        sample = static_cast<float>(x >> 8) / 16777216.0f - 0.5f;
    }
    writer.WriteSamples(SampleArray(std::move(noise)));
    return writer.ClosePending();
}

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

class PendingOutput : public ::testing::TestWithParam<QString> {
  protected:
    QString Path(const QString& name) const { return dir_.path() + "/" + name; }
    QTemporaryDir dir_;
};

TEST_P(PendingOutput, TheTargetIsReplacedOnlyOnceTheTagsAreIn) {
    const QString kind = GetParam();
    const QString source = Path("source.mp3");
    MakeSourceWithCover(source, 20000);
    const QString target = Path("out." + kind);
    const QByteArray old = RandomBytes(5000, 1);
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }

    PendingFile output = WriteBeside(target, 0.3);
    EXPECT_EQ(ReadAll(target), old) << "replaced before its tags were in";
    EXPECT_EQ(FilesIn(dir_.path()).size(), 3);  // source, target and the pending file
    TAudioInformation2 info;
    info.LoadInformation(source);
    info.SaveInformation(output);
    EXPECT_FALSE(output.IsOpen());
    EXPECT_EQ(FilesIn(dir_.path()), QStringList({"out." + kind, "source.mp3"}));
    EXPECT_EQ(test::ProbeTag(target, "title"), kTitle);
    // ASF rounds up to whole frames of 2048 samples.
    EXPECT_NEAR(test::ProbeStream(target, "duration").toDouble(), 0.3, 0.15);

    // A pending file given up leaves the target as the last save made it, and nothing else.
    const QByteArray saved = ReadAll(target);
    { PendingFile abandoned = WriteBeside(target, 0.1); }
    EXPECT_EQ(ReadAll(target), saved);
    EXPECT_EQ(FilesIn(dir_.path()), QStringList({"out." + kind, "source.mp3"}));
}

// A tag that does not fit on the disk: an error naming the target, the old target byte for
// byte as it was, and no file left beside it. The same for an output whose audio does not fit.
TEST_P(PendingOutput, AFullDiskLeavesTheOldTargetAndSaysSo) {
    const QString kind = GetParam();
    const QString source = Path("source.mp3");
    constexpr int kCover = 2 << 20;
    MakeSourceWithCover(source, kCover);
    const QString disk = Path("tiny");
    const test::TmpfsMount tiny(disk, "1m");
    QUILLET_REQUIRE_MOUNT(tiny);
    const QString target = disk + "/old." + kind;
    const QByteArray old = RandomBytes(20000, 2);
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    TAudioInformation2 info;
    info.LoadInformation(source);

    PendingFile output = WriteBeside(target, 0.3);  // the audio fits, its cover does not
    ASSERT_TRUE(output.IsOpen());
    try {
        info.SaveInformation(output);
        ADD_FAILURE() << "a cover of 2 MB was saved on a disk of 1 MB";
    } catch (const AudioError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(target)) << e.what();
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(std::strerror(ENOSPC))) << e.what();
    }
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(FilesIn(disk), QStringList({"old." + kind}));

    // Tags into the file already in place: written into a copy, so the same.
    EXPECT_THROW(info.SaveInformation(target), AudioError);
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(FilesIn(disk), QStringList({"old." + kind}));

    // Audio that does not fit (over 1 MB at any of the bit rates): the error comes from writing
    // or closing.
    EXPECT_THROW(WriteBeside(target, 120.0), AudioError);
    EXPECT_EQ(ReadAll(target), old);
    EXPECT_EQ(FilesIn(disk), QStringList({"old." + kind}));

    // With room on the disk the same road puts the cover in, and the audio stays readable.
    const QString roomy = Path("roomy." + kind);
    PendingFile fits = WriteBeside(roomy, 0.3);
    info.SaveInformation(fits);
    EXPECT_GT(QFileInfo(roomy).size(), kCover);
    EXPECT_EQ(test::ProbeTag(roomy, "title"), kTitle);
    EXPECT_NEAR(test::ProbeStream(roomy, "duration").toDouble(), 0.3, 0.15);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PendingOutput, ::testing::ValuesIn(kKinds.toVector()),
                         [](const auto& info) { return info.param.toStdString(); });

}  // namespace
}  // namespace quillet
