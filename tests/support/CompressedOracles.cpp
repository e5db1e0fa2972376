#include "support/CompressedOracles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

#include "support/Oracle.h"

namespace quillet::test {

std::vector<float> DecodeWithMpg123(const QString& path) {
    const ToolResult r = RunTool("mpg123", {"-q", "-e", "f32", "-s", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<float> samples(static_cast<size_t>(r.out.size()) / sizeof(float));
    if (!samples.empty()) std::memcpy(samples.data(), r.out.constData(), samples.size() * 4);
    return samples;
}

std::vector<int16_t> DecodeWithOggdec(const QString& path) {
    const ToolResult r = RunTool("oggdec", {"-Q", "-R", "-o", "-", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    std::vector<int16_t> samples(static_cast<size_t>(r.out.size()) / sizeof(int16_t));
    if (!samples.empty()) std::memcpy(samples.data(), r.out.constData(), samples.size() * 2);
    return samples;
}

std::vector<ProbedPacket> ProbePackets(const QString& path) {
    const ToolResult r =
        RunTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                            "packet=pos,size", "-of", "csv=p=0", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray all = file.readAll();
    std::vector<ProbedPacket> packets;
    for (const QByteArray& line : r.out.split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        if (fields.size() < 2) continue;
        ProbedPacket p;
        p.size = fields[0].toLongLong();
        p.pos = fields[1].toLongLong();
        p.bytes = all.mid(p.pos, p.size);
        packets.push_back(p);
    }
    return packets;
}

LameTag ReadLameTag(const QString& path) {
    const ToolResult r = RunTool("/usr/bin/python3",
                                 {QStringLiteral(QUILLET_TEST_SUPPORT_DIR "/lame_tag.py"), path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    LameTag t;
    t.found = o.value("found").toBool();
    t.name = o.value("name").toString();
    t.frames = o.value("frames").toInteger();
    t.bytes = o.value("bytes").toInteger();
    t.delay = o.value("delay").toInt();
    t.padding = o.value("padding").toInt();
    t.musicLength = o.value("music_length").toInteger();
    t.tagCrcOk = o.value("tag_crc_ok").toBool();
    t.musicCrcOk = o.value("music_crc_ok").toBool();
    t.audioFrames = o.value("audio_frames").toInteger();
    t.streamBytes = o.value("stream_bytes").toInteger();
    t.encoder = o.value("encoder").toString();
    return t;
}

void MakeMusicLikeWav(const QString& path, int frames, int rate, int channels) {
    const QString left =
        "0.4*sin(2*PI*(220+700*t)*t)+0.5*lt(mod(t\\,0.37)\\,0.003)*sin(2*PI*3000*t)";
    const QString right = "0.3*sin(2*PI*(330+400*t)*t+1)+0.5*lt(mod(t+0.1\\,0.29)\\,0.002)";
    const QString expr = channels == 1 ? left : left + "|" + right;
    Ffmpeg({"-f", "lavfi", "-i", QStringLiteral("aevalsrc=%1:s=%2").arg(expr).arg(rate), "-f",
            "lavfi", "-i",
            QStringLiteral("anoisesrc=sample_rate=%1:amplitude=0.05:seed=11").arg(rate),
            "-filter_complex",
            QStringLiteral("[1]aformat=channel_layouts=%1[n];[0][n]amix=inputs=2:normalize=0,"
                           "atrim=end_sample=%2")
                .arg(channels == 1 ? "mono" : "stereo")
                .arg(frames),
            "-c:a", "pcm_s16le", path});
}

void Lame(const QString& wav, const QString& mp3, const QStringList& options) {
    const ToolResult r = RunTool("lame", QStringList{"--quiet"} + options + QStringList{wav, mp3});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
}

}  // namespace quillet::test
