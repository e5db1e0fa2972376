#include "support/Oracle.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <cstring>

namespace quillet::test {

ToolResult RunTool(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(10000)) return r;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

void Ffmpeg(const QStringList& args) {
    const ToolResult r =
        RunTool("ffmpeg", QStringList{"-y", "-hide_banner", "-loglevel", "error"} + args);
    ASSERT_EQ(r.exitCode, 0) << "ffmpeg " << args.join(' ').toStdString() << ": "
                             << r.err.toStdString();
}

void MakeTone(const QString& path, int frames, int rate, int channels,
              const QStringList& outputOptions, const QString& source) {
    const QString src =
        source == "sine"
            ? QStringLiteral("sine=frequency=440:sample_rate=%1").arg(rate)
            : QStringLiteral("anoisesrc=sample_rate=%1:amplitude=0.3:seed=7").arg(rate);
    // atrim with end_sample is exact to the frame, where -t is not for every source.
    const QStringList args{"-f",
                           "lavfi",
                           "-i",
                           src,
                           "-af",
                           QStringLiteral("atrim=end_sample=%1,aformat=channel_layouts=%2")
                               .arg(frames)
                               .arg(channels == 1 ? "mono" : "stereo"),
                           "-ar",
                           QString::number(rate)};
    Ffmpeg(args + outputOptions + QStringList{path});
}

std::vector<float> DecodeWithFfmpeg(const QString& path, int rate, int channels) {
    QStringList args{"-hide_banner", "-loglevel", "error", "-i", path};
    if (rate > 0) args << "-ar" << QString::number(rate);
    if (channels > 0) args << "-ac" << QString::number(channels);
    args << "-f"
         << "f32le"
         << "-";
    const ToolResult r = RunTool("ffmpeg", args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<float> samples(static_cast<size_t>(r.out.size()) / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), r.out.constData(), samples.size() * sizeof(float));
    return samples;
}

QString ProbeStream(const QString& path, const QString& field) {
    const ToolResult r =
        RunTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                            "stream=" + field, "-of", "default=nw=1:nk=1", path});
    if (r.exitCode != 0) return {};
    return QString::fromUtf8(r.out).trimmed();
}

QString ProbeTag(const QString& path, const QString& tag) {
    const ToolResult r = RunTool(
        "ffprobe", {"-v", "error", "-show_entries", "format_tags=" + tag + ":stream_tags=" + tag,
                    "-of", "default=nw=1:nk=1", path});
    if (r.exitCode != 0) return {};
    return QString::fromUtf8(r.out).trimmed().section('\n', 0, 0);
}

QString BinDir() { return QCoreApplication::applicationDirPath(); }

}  // namespace quillet::test
