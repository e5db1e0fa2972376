// Hostile input for the decoder: real files of every format it reads, cut, damaged and with
// absurd header fields, derived deterministically. Whatever the bytes, opening either fails
// with an AudioError naming the file or gives a decoder whose Length is what reading delivers,
// from the start and after any seek; nothing crashes, hangs or changes the file.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <random>

#include "platform/audio/AudioDecoder.h"
#include "platform/audio/AudioError.h"
#include "support/Oracle.h"

extern "C" {
#include <libavutil/log.h>
}

namespace quillet {
namespace {

struct Source {
    const char* name;
    const char* extension;
    int rate;
    int channels;
    QStringList options;
};

const Source kSources[] = {
    {"Mp3CbrXing44100", "mp3", 44100, 2, {"-c:a", "libmp3lame", "-b:a", "128k"}},
    {"Mp3VbrXing48000", "mp3", 48000, 1, {"-c:a", "libmp3lame", "-q:a", "5"}},
    {"Mp3CbrNoXing22050",
     "mp3",
     22050,
     2,
     {"-c:a", "libmp3lame", "-b:a", "64k", "-write_xing", "0"}},
    {"Mp3VbrNoXing11025", "mp3", 11025, 1, {"-c:a", "libmp3lame", "-q:a", "7", "-write_xing", "0"}},
    {"Mp3Xing8000", "mp3", 8000, 1, {"-c:a", "libmp3lame", "-b:a", "16k"}},
    {"Mp3Tagged32000",
     "mp3",
     32000,
     2,
     {"-c:a", "libmp3lame", "-b:a", "96k", "-metadata", "title=Hostile", "-write_id3v1", "1"}},
    {"WavU8", "wav", 8000, 1, {"-c:a", "pcm_u8"}},
    {"WavS16", "wav", 44100, 2, {"-c:a", "pcm_s16le"}},
    {"WavS24", "wav", 48000, 2, {"-c:a", "pcm_s24le"}},
    {"WavF32", "wav", 22050, 1, {"-c:a", "pcm_f32le"}},
    {"Wmav1", "wma", 22050, 1, {"-c:a", "wmav1", "-b:a", "48k"}},
    {"Wmav2", "wma", 44100, 2, {"-c:a", "wmav2", "-b:a", "128k"}},
    // Short pages, so that the file has several, as a longer file would.
    {"Vorbis", "ogg", 44100, 2, {"-c:a", "libvorbis", "-q:a", "3", "-page_duration", "50000"}},
};

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

// Each source is made once per run: half a second of noise.
const QByteArray& Bytes(const Source& s) {
    static std::map<std::string, QByteArray> made;
    QByteArray& bytes = made[s.name];
    if (bytes.isEmpty()) {
        const QString path = Dir().filePath(QStringLiteral("src-%1.%2").arg(s.name, s.extension));
        test::MakeTone(path, s.rate / 2, s.rate, s.channels, s.options, "anoisesrc");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
    }
    return bytes;
}

QString Write(const QString& name, const QByteArray& bytes) {
    const QString path = Dir().filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

struct Outcome {
    bool opened = false;
    int64_t length = 0;
};

int64_t ReadChecked(AudioDecoder& d, int64_t count, std::vector<float>& out) {
    const size_t before = out.size();
    const int64_t got = d.Read(out, count);
    EXPECT_GE(got, 0);
    EXPECT_LE(got, count);
    EXPECT_EQ(out.size() - before, static_cast<size_t>(std::max<int64_t>(got, 0) * d.Channels()));
    for (size_t i = before; i < out.size(); ++i) {
        if (!std::isfinite(out[i])) {
            ADD_FAILURE() << "sample " << i << " is " << out[i];
            break;
        }
    }
    return got;
}

// The whole contract of the decoder on one file of any content.
Outcome Check(const QString& name, const QByteArray& bytes, uint32_t seed) {
    SCOPED_TRACE(name.toStdString());
    const QString path = Write(name, bytes);
    Outcome outcome;
    try {
        AudioDecoder d(path);
        outcome.opened = true;
        const int64_t length = d.Length();
        outcome.length = length;
        EXPECT_GE(length, 0);
        EXPECT_LE(length, std::numeric_limits<int32_t>::max());
        // No codec delivers more than a few thousand frames per byte of input.
        EXPECT_LE(length, static_cast<int64_t>(bytes.size()) * 4096);
        EXPECT_GT(d.SampleRate(), 0);
        EXPECT_GT(d.Channels(), 0);
        if (length < 0 || length > std::min<int64_t>(std::numeric_limits<int32_t>::max(),
                                                     static_cast<int64_t>(bytes.size()) * 4096)) {
            return outcome;
        }
        // Milliseconds truncated: never more than the frames make, less by under one.
        EXPECT_LE(d.DurationMs() * d.SampleRate(), length * 1000);
        EXPECT_GT((d.DurationMs() + 1) * d.SampleRate(), length * 1000);

        // From the start to the end: exactly Length frames, then nothing; never a spin.
        constexpr int64_t kBlock = 4096;
        std::vector<float> out;
        int64_t total = 0;
        int64_t reads = 0;
        for (int64_t got = 1; got > 0; ++reads) {
            if (reads > length / kBlock + 2) {
                ADD_FAILURE() << "reading does not end: " << total << " of " << length;
                break;
            }
            out.clear();
            got = ReadChecked(d, kBlock, out);
            total += got;
        }
        EXPECT_EQ(total, length);
        EXPECT_EQ(ReadChecked(d, kBlock, out), 0);

        // Seeks anywhere, also outside the file (clamped), each read for exactly what is left.
        std::mt19937 random(seed);
        const int64_t spots[] = {0,
                                 length / 2,
                                 length - 1,
                                 length,
                                 static_cast<int64_t>(random() % (length + 1)),
                                 length + 7,
                                 -5,
                                 static_cast<int64_t>(random() % (length + 1)),
                                 1};
        for (const int64_t spot : spots) {
            const int64_t p = std::clamp<int64_t>(spot, 0, length);
            const int64_t count = 1 + random() % 6000;
            d.Seek(spot);
            out.clear();
            EXPECT_EQ(ReadChecked(d, count, out), std::min(count, length - p)) << "at " << spot;
        }
    } catch (const AudioError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(path)) << e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not an AudioError: " << e.what();
    }
    EXPECT_TRUE(ReadAll(path) == bytes) << "the file was changed";
    return outcome;
}

void Put16(QByteArray& b, int64_t at, uint32_t v) {
    for (int i = 0; i < 2 && at + i < b.size(); ++i) b[int(at + i)] = char(v >> (8 * i));
}
void Put32(QByteArray& b, int64_t at, uint32_t v) {
    for (int i = 0; i < 4 && at + i < b.size(); ++i) b[int(at + i)] = char(v >> (8 * i));
}
void Put32Be(QByteArray& b, int64_t at, uint32_t v) {
    for (int i = 0; i < 4 && at + i < b.size(); ++i) b[int(at + i)] = char(v >> (24 - 8 * i));
}
void Put64(QByteArray& b, int64_t at, uint64_t v) {
    for (int i = 0; i < 8 && at + i < b.size(); ++i) b[int(at + i)] = char(v >> (8 * i));
}

class Hostile : public ::testing::TestWithParam<Source> {
  protected:
    QString Name(const QString& what) const {
        return QStringLiteral("%1-%2.%3").arg(GetParam().name, what, GetParam().extension);
    }
};

// The untouched file decodes to what ffmpeg decodes: the mutations below start from real audio.
TEST_P(Hostile, SourceIsRealAudio) {
    const Source& s = GetParam();
    const Outcome o = Check(Name("whole"), Bytes(s), 1);
    ASSERT_TRUE(o.opened);
    EXPECT_EQ(o.length * s.channels,
              static_cast<int64_t>(test::DecodeWithFfmpeg(Dir().filePath(Name("whole"))).size()));
}

TEST_P(Hostile, Truncated) {
    const QByteArray& whole = Bytes(GetParam());
    const int64_t size = whole.size();
    std::vector<int64_t> cuts{0,   1,   2,    3,    4,    5,    8,    10,   11,   12,  16,
                              20,  22,  24,   28,   32,   36,   40,   44,   45,   46,  50,
                              60,  64,  100,  128,  200,  256,  300,  400,  417,  500, 512,
                              600, 800, 1000, 1024, 1500, 2000, 3000, 4096, 6000, 8000};
    for (int k = 1; k < 10; ++k) cuts.push_back(size * k / 10);
    for (const int64_t back : {1, 2, 3, 127, 128, 129, 300}) cuts.push_back(size - back);
    std::mt19937 random(7);
    for (int i = 0; i < 6; ++i) cuts.push_back(random() % size);
    for (const int64_t cut : cuts) {
        if (cut < 0 || cut >= size) continue;
        Check(Name(QStringLiteral("cut%1").arg(cut)), whole.left(int(cut)), uint32_t(cut));
    }
}

TEST_P(Hostile, DamagedBytes) {
    const QByteArray& whole = Bytes(GetParam());
    const int size = whole.size();
    std::mt19937 random(11);
    // Flips in the headers, where one bit changes what the rest means.
    for (int i = 0; i < 25; ++i) {
        QByteArray b = whole;
        const int flips = 1 + random() % 4;
        for (int f = 0; f < flips; ++f)
            b[int(random() % std::min(size, 1024))] ^= char(1 + random() % 255);
        Check(Name(QStringLiteral("flip%1").arg(i)), b, random());
    }
    // Random runs over the whole file.
    for (int i = 0; i < 15; ++i) {
        QByteArray b = whole;
        const int runs = 1 + random() % 8;
        for (int r = 0; r < runs; ++r) {
            const int at = int(random() % size);
            const int n = 1 + random() % 64;
            for (int k = at; k < std::min(size, at + n); ++k) b[k] = char(random());
        }
        Check(Name(QStringLiteral("overwrite%1").arg(i)), b, random());
    }
    // Zeroed regions, one over the very start.
    for (int i = 0; i < 6; ++i) {
        QByteArray b = whole;
        const int at = i == 0 ? 0 : int(random() % size);
        const int n = 1 + random() % 4096;
        b.replace(at, std::min(n, size - at), QByteArray(std::min(n, size - at), '\0'));
        Check(Name(QStringLiteral("zeroed%1").arg(i)), b, random());
    }
    // The right content under the wrong name.
    for (const char* ext : {"mp3", "wav", "wma", "ogg"}) {
        Check(QStringLiteral("%1-renamed.%2").arg(GetParam().name, ext), whole, 3);
    }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, Hostile, ::testing::ValuesIn(kSources),
                         [](const auto& info) { return std::string(info.param.name); });

const Source& SourceNamed(const char* name) {
    for (const Source& s : kSources) {
        if (std::strcmp(s.name, name) == 0) return s;
    }
    throw std::logic_error(name);
}

TEST(HostileFiles, FewBytes) {
    const QByteArray tiny[] = {"",
                               "I",
                               "ID3",
                               QByteArray("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10),
                               "RIFF",
                               QByteArray("RIFF\xff\xff\xff\xffWAVE", 12),
                               QByteArray("RIFF\x04\x00\x00\x00WAVEfmt ", 16),
                               "OggS",
                               QByteArray("OggS\x00\x02", 6),
                               QByteArray("\xff\xfb", 2),
                               QByteArray("\xff\xfb\x90\x64", 4),
                               QByteArray("\x30\x26\xb2\x75\x8e\x66\xcf\x11", 8),
                               "TAG",
                               QByteArray(128, '\xff'),
                               QByteArray(1000, '\0')};
    int i = 0;
    for (const QByteArray& b : tiny) {
        for (const char* ext : {"mp3", "wav", "wma", "ogg"}) {
            Check(QStringLiteral("tiny%1.%2").arg(i).arg(ext), b, uint32_t(i));
        }
        ++i;
    }
}

// Offset of a RIFF chunk's header ("fmt ", "data") in a WAV file, or -1.
int64_t ChunkAt(const QByteArray& b, const char* id) {
    for (int64_t at = 12; at + 8 <= b.size();) {
        if (b.mid(int(at), 4) == id) return at;
        const uint32_t size = uint8_t(b[int(at + 4)]) | uint8_t(b[int(at + 5)]) << 8 |
                              uint8_t(b[int(at + 6)]) << 16 |
                              uint32_t(uint8_t(b[int(at + 7)])) << 24;
        at += 8 + size + (size & 1);
    }
    return -1;
}

TEST(HostileFiles, WavHeaderFields) {
    for (const char* name : {"WavU8", "WavS16", "WavS24", "WavF32"}) {
        const QByteArray& whole = Bytes(SourceNamed(name));
        const int64_t fmt = ChunkAt(whole, "fmt ");
        const int64_t data = ChunkAt(whole, "data");
        ASSERT_GT(fmt, 0);
        ASSERT_GT(data, 0);
        struct Field {
            const char* what;
            int64_t at;
            int bytes;
            std::vector<uint32_t> values;
        };
        const Field fields[] = {
            {"riffsize", 4, 4, {0, 1, 0xffffffff}},
            {"fmtsize", fmt + 4, 4, {0, 14, 15, 40, 0xffffffff}},
            {"tag", fmt + 8, 2, {0, 2, 3, 0x55, 0x161, 0xfffe, 0xffff}},
            {"channels", fmt + 10, 2, {0, 3, 9, 255, 65535}},
            {"rate", fmt + 12, 4, {0, 1, 7, 0x7fffffff, 0xffffffff}},
            {"byterate", fmt + 16, 4, {0, 0xffffffff}},
            {"align", fmt + 20, 2, {0, 1, 3, 7, 65535}},
            {"bits", fmt + 22, 2, {0, 1, 7, 9, 12, 64, 65535}},
            {"datasize", data + 4, 4, {0, 1, 3, 0x7fffffff, 0xfffffffe, 0xffffffff}},
        };
        for (const Field& f : fields) {
            for (const uint32_t v : f.values) {
                QByteArray b = whole;
                f.bytes == 2 ? Put16(b, f.at, v) : Put32(b, f.at, v);
                Check(QStringLiteral("%1-%2-%3.wav").arg(name, f.what).arg(v), b, v);
            }
        }
        // Everything absurd at once, and a data chunk that claims 4 GB of a few bytes.
        QByteArray b = whole;
        Put16(b, fmt + 10, 65535);
        Put32(b, fmt + 12, 0);
        Put16(b, fmt + 22, 7);
        Put32(b, data + 4, 0xffffffff);
        Check(QStringLiteral("%1-all.wav").arg(name), b, 1);
        Check(QStringLiteral("%1-4gb.wav").arg(name), b.left(int(data + 8 + 5)), 2);
    }
}

// Where the first MPEG audio frame starts: after an ID3v2 tag if there is one.
int64_t FirstFrame(const QByteArray& b) {
    if (!b.startsWith("ID3")) return 0;
    return 10 + ((int64_t(b[6]) & 0x7f) << 21 | (int64_t(b[7]) & 0x7f) << 14 |
                 (int64_t(b[8]) & 0x7f) << 7 | (int64_t(b[9]) & 0x7f));
}

TEST(HostileFiles, Mp3TagsAndVbrHeaders) {
    std::mt19937 random(5);
    for (const char* name : {"Mp3CbrXing44100", "Mp3VbrXing48000", "Mp3Xing8000", "Mp3Tagged32000",
                             "Mp3CbrNoXing22050"}) {
        const QByteArray& whole = Bytes(SourceNamed(name));
        const auto check = [&](const QString& what, const QByteArray& b) {
            Check(QStringLiteral("%1-%2.mp3").arg(name, what), b, random());
        };
        const int64_t first = FirstFrame(whole);
        ASSERT_EQ(uint8_t(whole[int(first)]), 0xff) << name;
        const int64_t xing =
            std::max<int64_t>(whole.indexOf("Xing", int(first)), whole.indexOf("Info", int(first)));
        // ID3v2 sizes past the end, into the middle of a frame, and a tag inside the audio.
        for (const uint32_t size : {0x7f7f7f7fu, 0x00000301u, 0x00007f7fu, 0u, 1u}) {
            QByteArray b = whole;
            if (!b.startsWith("ID3")) b.prepend(QByteArray("ID3\x04\x00\x00\0\0\0\0", 10));
            for (int i = 0; i < 4; ++i) b[6 + i] = char((size >> (24 - 8 * i)) & 0x7f);
            check(QStringLiteral("id3size%1").arg(size), b);
        }
        QByteArray footer = whole;
        if (footer.startsWith("ID3")) footer[5] = char(0x10);  // claims a footer it has not
        check("id3footer", footer);
        QByteArray inside = whole;
        inside.insert(inside.size() / 2, QByteArray("ID3\x04\x00\x00\x7f\x7f\x7f\x7f", 10));
        check("id3inside", inside);
        // A junk lead longer than any demuxer looks for a frame; a big tail of junk.
        QByteArray junk(70000, '\0');
        for (char& c : junk) c = char(random());
        check("junklead", junk + whole.mid(int(first)));
        check("junktail", whole + junk + junk);
        if (xing < 0) continue;
        // Xing/Info fields (big endian): flags, frames, bytes; then the LAME delays.
        const int64_t lame = whole.indexOf("LAME", int(xing));
        for (const uint32_t v : {0u, 1u, 0x7fffffffu, 0xffffffffu}) {
            QByteArray flags = whole, frames = whole, size = whole;
            Put32Be(flags, xing + 4, v);
            Put32Be(frames, xing + 8, v);
            Put32Be(size, xing + 12, v);
            check(QStringLiteral("xingflags%1").arg(v), flags);
            check(QStringLiteral("xingframes%1").arg(v), frames);
            check(QStringLiteral("xingbytes%1").arg(v), size);
        }
        if (lame > 0) {
            QByteArray delays = whole;
            delays[int(lame + 21)] = char(0xff), delays[int(lame + 22)] = char(0xff);
            delays[int(lame + 23)] = char(0xff);
            check("lamedelaysmax", delays);
        }
        // The Xing frame twice at the start, once more in the middle, and as the last frame.
        const int frameBytes = int(whole.indexOf(char(0xff), int(xing)) - first);
        const QByteArray tagFrame = whole.mid(int(first), std::max(frameBytes, 4));
        QByteArray twice = whole;
        twice.insert(int(first), tagFrame);
        check("xingtwice", twice);
        QByteArray middle = whole;
        middle.insert(middle.size() / 2, tagFrame);
        check("xingmiddle", middle);
        check("xingonly", whole.left(int(first)) + tagFrame);
        check("xinglast", whole + tagFrame);
        QByteArray garbage = whole;
        for (int64_t i = xing + 4; i < xing + 120 && i < garbage.size(); ++i)
            garbage[int(i)] = char(random());
        check("xinggarbage", garbage);
    }
}

// Files joined end to end: the second one's tag (here larger than any junk the frame scan walks
// over) sits between frames, and the frames after it still count. mpg123 trims the first file
// as its tag says and decodes all that follows, the second file's Info frame as 1152 frames of
// nothing; we leave that frame out.
TEST(HostileFiles, JoinedMp3FilesWithABigTagKeepTheirFrames) {
    const QString one = Dir().filePath("one-with-big-tag.mp3");
    test::MakeTone(
        one, 16000, 32000, 2,
        {"-c:a", "libmp3lame", "-b:a", "96k", "-metadata", "comment=" + QString(80000, 'x')},
        "anoisesrc");
    const QByteArray bytes = ReadAll(one);
    ASSERT_GT(bytes.size(), 80000);
    const Outcome joined = Check("joined.mp3", bytes + bytes, 1);
    ASSERT_TRUE(joined.opened);
    const test::ToolResult mpg123 =
        test::RunTool("mpg123", {"-q", "-s", Dir().filePath("joined.mp3")});
    ASSERT_EQ(mpg123.exitCode, 0);
    const int64_t mpg123Frames = mpg123.out.size() / 4;  // 16-bit stereo
    EXPECT_EQ(joined.length, mpg123Frames - 1152);
}

// Ogg pages carry a CRC over the whole page; a damaged field keeps a valid CRC so the
// demuxer takes it at its word.
uint32_t OggCrc(const QByteArray& page) {
    uint32_t crc = 0;
    for (const char c : page) {
        crc ^= uint32_t(uint8_t(c)) << 24;
        for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04c11db7u : crc << 1;
    }
    return crc;
}

struct OggPage {
    int64_t at;
    int64_t size;
};

std::vector<OggPage> OggPages(const QByteArray& b) {
    std::vector<OggPage> pages;
    for (int64_t at = 0; at + 27 <= b.size() && b.mid(int(at), 4) == "OggS";) {
        const int segments = uint8_t(b[int(at + 26)]);
        int64_t size = 27 + segments;
        for (int i = 0; i < segments && at + 27 + i < b.size(); ++i)
            size += uint8_t(b[int(at + 27 + i)]);
        pages.push_back({at, size});
        at += size;
    }
    return pages;
}

void SetGranule(QByteArray& b, const OggPage& page, uint64_t granule) {
    Put64(b, page.at + 6, granule);
    Put32(b, page.at + 22, 0);
    Put32(b, page.at + 22, OggCrc(b.mid(int(page.at), int(page.size))));
}

TEST(HostileFiles, OggGranulePositions) {
    const QByteArray& whole = Bytes(SourceNamed("Vorbis"));
    const std::vector<OggPage> pages = OggPages(whole);
    ASSERT_GE(pages.size(), 4u);
    {
        // The CRC is right: rewriting a page's own granule leaves the file as it was.
        QByteArray same = whole;
        const uint64_t granule =
            qFromLittleEndian<uint64_t>(whole.constData() + pages.back().at + 6);
        SetGranule(same, pages.back(), granule);
        ASSERT_EQ(same, whole);
    }
    const uint64_t granules[] = {0,          1,          0x7fffffffu,           0xffffffffu,
                                 1ull << 40, 1ull << 62, 0x7fffffffffffffffull, ~0ull};
    for (const uint64_t g : granules) {
        QByteArray last = whole, middle = whole, first = whole;
        SetGranule(last, pages.back(), g);
        SetGranule(middle, pages[pages.size() / 2], g);
        SetGranule(first, pages[2], g);
        Check(QStringLiteral("granule-last-%1.ogg").arg(g), last, 1);
        Check(QStringLiteral("granule-middle-%1.ogg").arg(g), middle, 2);
        Check(QStringLiteral("granule-first-%1.ogg").arg(g), first, 3);
    }
    // The last page of another stream, and a last page cut short.
    QByteArray serial = whole;
    Put32(serial, pages.back().at + 14, 0x12345678);
    Put32(serial, pages.back().at + 22, 0);
    Put32(serial, pages.back().at + 22,
          OggCrc(serial.mid(int(pages.back().at), int(pages.back().size))));
    Check("serial.ogg", serial, 4);
}

// ASF objects are found by their GUID (little-endian fields).
const QByteArray kStreamProperties(
    "\x91\x07\xdc\xb7\xb7\xa9\xcf\x11\x8e\xe6\x00\xc0\x0c\x20\x53\x65", 16);
const QByteArray kFileProperties("\xa1\xdc\xab\x8c\x47\xa9\xcf\x11\x8e\xe4\x00\xc0\x0c\x20\x53\x65",
                                 16);

TEST(HostileFiles, WmaHeaderFields) {
    for (const char* name : {"Wmav1", "Wmav2"}) {
        const QByteArray& whole = Bytes(SourceNamed(name));
        const int64_t stream = whole.indexOf(kStreamProperties);
        const int64_t file = whole.indexOf(kFileProperties);
        ASSERT_GT(stream, 0);
        ASSERT_GT(file, 0);
        const int64_t wave = stream + 78;  // WAVEFORMATEX
        struct Field {
            const char* what;
            int64_t at;
            int bytes;
            std::vector<uint64_t> values;
        };
        const Field fields[] = {
            {"channels", wave + 2, 2, {0, 3, 9, 65535}},
            {"rate", wave + 4, 4, {0, 1, 200000, 0xffffffff}},
            {"align", wave + 12, 2, {0, 1, 2, 65535}},
            {"bits", wave + 14, 2, {0, 7, 65535}},
            {"extra", wave + 16, 2, {0, 1, 65535}},
            {"flags", wave + 18 + (std::strcmp(name, "Wmav1") == 0 ? 2 : 4), 2, {0, 2, 0xffff}},
            {"filesize", file + 40, 8, {0, ~0ull}},
            {"packets", file + 56, 8, {0, 1, ~0ull}},
            {"duration", file + 64, 8, {0, ~0ull}},
            {"preroll", file + 80, 8, {0, 1ull << 40, ~0ull}},
            {"minpacket", file + 92, 4, {0, 1, 0xffffffff}},
            {"maxpacket", file + 96, 4, {0, 1, 0xffffffff}},
        };
        for (const Field& f : fields) {
            for (const uint64_t v : f.values) {
                QByteArray b = whole;
                if (f.bytes == 2) Put16(b, f.at, uint32_t(v));
                if (f.bytes == 4) Put32(b, f.at, uint32_t(v));
                if (f.bytes == 8) Put64(b, f.at, v);
                Check(QStringLiteral("%1-%2-%3.wma").arg(name, f.what).arg(v), b, uint32_t(v));
            }
        }
    }
}

// A later scan of folders opens every file named .mp3; a big file of junk must be refused or
// read like any other, from a window rather than all at once.
TEST(HostileFiles, MegabytesOfJunkNamedMp3) {
    std::mt19937 random(17);
    QByteArray junk(4 << 20, '\0');
    for (char& c : junk) c = char(random());
    Check("junk.mp3", junk, 1);
    const QByteArray& real = Bytes(SourceNamed("Mp3CbrXing44100"));
    Check("frames-then-junk.mp3", real + junk, 2);
    // No false sync at all in zeros or text: FFmpeg's parser alone would walk all of it.
    Check("frames-then-zeros.mp3", real + QByteArray(8 << 20, '\0'), 3);
    Check("frames-then-text.mp3", real + QByteArray("not audio, just text\n").repeated(400000), 4);
    Check("zeros.mp3", QByteArray(8 << 20, '\0'), 5);
}

}  // namespace
}  // namespace quillet

// Hostile files make FFmpeg log an error per damaged frame; the checks speak for themselves.
namespace {
const bool kQuiet = (av_log_set_level(AV_LOG_QUIET), true);
}
