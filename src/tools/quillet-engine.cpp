// The audio engine from the command line: the same calls the program makes, for scripts,
// benchmarks and checking a file by hand.
//
//   quillet-engine info FILE
//   quillet-engine read FILE START COUNT OUT
//   quillet-engine convert IN START END OUT [--mp3 ...|--wav ...|--wma ...|--ogg ...]
//                          [--keep-source-audio]
//
// Exit status: 0 done, 1 an engine error (its message on stderr), 2 bad usage, a format the
// writer refuses, or an output that is the input.

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "common/FileNames.h"
#include "convert/CopyThreads.h"
#include "convert/CutCommand.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/FfmpegError.h"
#include "platform/audio/OutputFormats.h"
#include "platform/audio/StretchCopy.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "platform/audio/TAudioInformation2.h"

extern "C" {
#include <libavutil/log.h>
}

namespace quillet {
namespace {

constexpr int kOk = 0;
constexpr int kEngineError = 1;
constexpr int kRefused = 2;
constexpr int32_t kPlaybackArray = 4410;

const char kUsage[] =
    "usage:\n"
    "  quillet-engine info FILE\n"
    "  quillet-engine read FILE START COUNT OUT\n"
    "  quillet-engine convert IN START END OUT [option] [--keep-source-audio]\n"
    "options of convert (without one, the writer's own choice):\n"
    "  --mp3 RATE,KBPS,CHANNELS,QUALITY[,vbr,VBRKBPS,VBRQUALITY]\n"
    "  --wav RATE,CHANNELS,BITS\n"
    "  --wma PROFILE            (1..47)\n"
    "  --ogg RATE,CHANNELS,KBPS,MAXKBPS,MINKBPS,QUALITY   (QUALITY -1: none)\n"
    "  --keep-source-audio      an MP3 into .mp3 or an Ogg Vorbis into .ogg is copied\n"
    "                           without re-encoding, exact to the sample (the option\n"
    "                           above then only applies when it cannot be)\n";

struct UsageError {};

int Usage() {
    std::fputs(kUsage, stderr);
    return kRefused;
}

int32_t ToInt(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok) throw UsageError{};
    return value;
}

std::vector<int> ToInts(const QString& list, int count) {
    const QStringList parts = list.split(',');
    if (parts.size() != count) throw UsageError{};
    std::vector<int> values;
    for (const QString& p : parts) values.push_back(ToInt(p));
    return values;
}

// However the two are spelled (links, "a/../a.wav", hard links), writing OUT must never replace
// or cut short IN.
bool IsSameFile(const QString& a, const QString& b) {
    std::error_code error;  // a path that does not exist is simply not the same file
    return std::filesystem::equivalent(EncodeFileName(a).toStdString(),
                                       EncodeFileName(b).toStdString(), error);
}

int RefuseSameFile(const QString& out) {
    std::fprintf(stderr, "The output \"%s\" is the input file; choose another output.\n",
                 EncodeFileName(out).constData());
    return kRefused;
}

int Info(const QString& path) {
    TAudioFile2 file;
    file.OpenForRead(path, 0, 1);
    std::printf("length=%d duration_ms=%d rate=%d channels=%d bytes_per_position=%d\n",
                file.Length(), file.DurationMs(), file.SampleRate(), file.Channels(),
                file.BytesPerPosition());
    file.Close();
    return kOk;
}

int Read(const QString& path, int32_t start, int32_t count, const QString& outPath) {
    if (IsSameFile(path, outPath)) return RefuseSameFile(outPath);
    TAudioFile2 file;
    file.OpenForRead(path, 0, 1);
    file.SeekPosition(start, 3);
    const int fd =
        ::open(EncodeFileName(outPath).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw SystemError(QStringLiteral("create"), outPath, errno);
    QFile out;
    if (!out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw EngineError(QStringLiteral("create"), outPath, out.errorString());
    }
    const int32_t bytesPerPosition = file.BytesPerPosition();
    while (count > 0) {
        const SampleArray array = file.ReadSamples(std::min(count, kPlaybackArray));
        if (array.Empty()) break;
        const auto bytes = static_cast<qint64>(array.ByteCount());
        if (out.write(reinterpret_cast<const char*>(array.Data()), bytes) != bytes)
            throw EngineError(QStringLiteral("write"), outPath, out.errorString());
        count -= static_cast<int32_t>(array.ByteCount() / static_cast<size_t>(bytesPerPosition));
    }
    file.Close();
    return kOk;
}

bool Configure(TAudioFile2& writer, const QString& option, const QString& values) {
    if (option == "--mp3") {
        const QStringList parts = values.split(',');
        if (parts.size() != 4 && !(parts.size() == 7 && parts[4] == "vbr")) throw UsageError{};
        TAudioFile2LameEnc lame;
        lame.SetSampleRate(ToInt(parts[0]));
        lame.SetBitrate(ToInt(parts[1]));
        lame.SetChannels(ToInt(parts[2]));
        lame.SetQuality(ToInt(parts[3]));
        lame.SetConstantBitrate(parts.size() == 4);
        if (parts.size() == 7) {
            lame.SetVbrBitrate(ToInt(parts[5]));
            lame.SetVbrQuality(ToInt(parts[6]));
        }
        if (!writer.CheckMp3Format(lame.SampleRate(), lame.Bitrate(), lame.Channels())) {
            std::fputs("This MP3 format not supported, please try another bit rate or frequency.\n",
                       stderr);
            return false;
        }
        writer.SetMp3Encoder(lame);
    } else if (option == "--wav") {
        const std::vector<int> v = ToInts(values, 3);
        writer.SetWavFormat(v[0], v[1], v[2]);
    } else if (option == "--wma") {
        const int profile = ToInt(values);
        if (profile < 1 || profile > 47) throw UsageError{};
        writer.SetWmaProfile(profile);
    } else if (option == "--ogg") {
        const std::vector<int> v = ToInts(values, 6);
        if (v[5] < INT16_MIN || v[5] > INT16_MAX) throw UsageError{};
        if (v[5] == -1 && !writer.CheckOggFormat(v[0], v[1], v[2], v[3], v[4])) {
            std::fputs("This OGG format not supported, please try another bit rate or frequency.\n",
                       stderr);
            return false;
        }
        writer.SetOggFormat(v[0], v[1], v[2], v[3], v[4], static_cast<int16_t>(v[5]));
    } else {
        throw UsageError{};
    }
    return true;
}

// The stretch copied without re-encoding when IN already holds OUT's kind of audio; none (and a
// note on stderr when it was of that kind but could not be copied exactly) otherwise.
std::optional<PendingFile> CopyIfSameKind(const QString& in, int32_t start, int32_t end,
                                          const QString& out) {
    const OutputFormatInfo* format = OutputFormatOfPath(out);
    const StreamCoding coding = CodingOf(in);
    const bool same =
        format && ((format->kind == OutputKind::Mp3 && coding == StreamCoding::Mp3) ||
                   (format->kind == OutputKind::Ogg && coding == StreamCoding::OggVorbis));
    if (!same) return std::nullopt;
    StretchCopy copy = CopyStretch(in, coding, start, end, out);
    if (copy.refusal.isEmpty()) return std::move(copy.file);
    std::fprintf(stderr, "Re-encoding: %s.\n", copy.refusal.toUtf8().constData());
    return std::nullopt;
}

void CarryInformation(const QString& in, PendingFile& output) {
    TAudioInformation2 information;
    information.SetOptionFlag(true);
    information.LoadInformation(in);
    information.SaveInformation(output);
}

int Convert(QStringList args) {
    const bool keep = args.size() > 4 && args.back() == "--keep-source-audio";
    if (keep) args.removeLast();
    if (args.size() != 4 && args.size() != 6) throw UsageError{};
    const QString in = args[0];
    const int32_t start = ToInt(args[1]);
    const int32_t end = ToInt(args[2]);
    const QString out = args[3];
    if (start < 0 || end < start) throw UsageError{};
    if (IsSameFile(in, out)) return RefuseSameFile(out);
    TAudioFile2 writer;
    writer.SetOptionFlag(true);
    if (args.size() == 6 && !Configure(writer, args[4], args[5])) return kRefused;
    if (keep) {
        if (std::optional<PendingFile> copied = CopyIfSameKind(in, start, end, out)) {
            CarryInformation(in, *copied);
            return kOk;
        }
    }

    TAudioFile2 reader;
    reader.SetOptionFlag(true);
    TAudioInformation2 information;
    information.SetOptionFlag(true);
    // Cut's own copy of a row: the same threads, blocks and order of steps, with no window to
    // pump and no Stop.
    CopyThreads threads(reader, writer);
    CutSegment(threads, information, {in, start, end, out},
               {[] {}, [] { return true; }, [](int) {}});
    return kOk;
}

int Run(const QStringList& args) {
    if (args.isEmpty()) return Usage();
    const QString command = args[0];
    const QStringList rest = args.mid(1);
    if (command == "info" && rest.size() == 1) return Info(rest[0]);
    if (command == "read" && rest.size() == 4)
        return Read(rest[0], ToInt(rest[1]), ToInt(rest[2]), rest[3]);
    if (command == "convert" && rest.size() >= 4 && rest.size() <= 7) return Convert(rest);
    return Usage();
}

}  // namespace
}  // namespace quillet

int main(int argc, char** argv) {
    // Our own messages say what failed; the libraries' log lines would only repeat it.
    av_log_set_level(AV_LOG_FATAL);
    QStringList args;
    // A path's bytes are kept as they are, UTF-8 or not.
    for (int i = 1; i < argc; ++i) args << quillet::DecodeFileName(QByteArray(argv[i]));
    try {
        return quillet::Run(args);
    } catch (const quillet::UsageError&) {
        return quillet::Usage();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return quillet::kEngineError;
    }
}
