#pragma once

// Oracles for MP3 and Ogg Vorbis files copied without re-encoding: decoders that are not FFmpeg
// (mpg123, oggdec), the frames as FFmpeg's demuxer finds them, the LAME tag as eyeD3 checks it.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace quillet::test {

// The whole file decoded by mpg123 (gapless, its default decoder) to interleaved float.
std::vector<float> DecodeWithMpg123(const QString& path);
// The whole file decoded by oggdec (libvorbisfile) to interleaved 16-bit samples.
std::vector<int16_t> DecodeWithOggdec(const QString& path);

// One compressed frame or packet as ffprobe lists it.
struct ProbedPacket {
    int64_t pos = 0;
    int64_t size = 0;
    QByteArray bytes;  // read from the file at pos
};
std::vector<ProbedPacket> ProbePackets(const QString& path);

// The Xing/Info frame and LAME tag of an MP3, read by tests/support/lame_tag.py with eyeD3's
// CRC-16.
struct LameTag {
    bool found = false;
    QString name;  // "Info" or "Xing"
    int64_t frames = 0;
    int64_t bytes = 0;
    int delay = 0;
    int padding = 0;
    int64_t musicLength = 0;
    bool tagCrcOk = false;
    bool musicCrcOk = false;
    int64_t audioFrames = 0;  // frames after the Info frame, counted by walking their headers
    int64_t streamBytes = 0;  // the Info frame and those frames
    QString encoder;
};
LameTag ReadLameTag(const QString& path);

// A WAV made by ffmpeg with a signal that makes encoders use short blocks and the bit
// reservoir: chirps with clicks every 0.37 s, and noise.
void MakeMusicLikeWav(const QString& path, int frames, int rate, int channels);
// lame (the LAME command line) on a WAV with the given options.
void Lame(const QString& wav, const QString& mp3, const QStringList& options);

}  // namespace quillet::test
