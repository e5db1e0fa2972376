#pragma once

// Independent tools (ffmpeg, ffprobe, sox) that make fixtures and judge our output.

#include <QString>
#include <QStringList>
#include <vector>

namespace quillet::test {

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end (at most timeoutMs) and returns its exit code and output.
ToolResult RunTool(const QString& program, const QStringList& args, int timeoutMs = 120000);

// ffmpeg -y -hide_banner -loglevel error <args>; fails the current test when it fails.
void Ffmpeg(const QStringList& args);

// A sine (or noise with "anoisesrc") of the given frames, rate and channels, written by ffmpeg
// with extra output options (codec, bitrate...). The file kind follows the extension.
void MakeTone(const QString& path, int frames, int rate, int channels,
              const QStringList& outputOptions = {}, const QString& source = "sine");

// The whole file decoded by ffmpeg to interleaved float at its own rate and channels
// (or the given ones, when > 0).
std::vector<float> DecodeWithFfmpeg(const QString& path, int rate = 0, int channels = 0);

// One stream field as ffprobe prints it (for example "codec_name", "sample_rate", "channels",
// "duration"), for the first audio stream. Empty when ffprobe fails.
QString ProbeStream(const QString& path, const QString& field);
// Tags of the format as ffprobe prints them ("title", "artist", ...).
QString ProbeTag(const QString& path, const QString& tag);

// Directory of the built executables and the skin library.
QString BinDir();

}  // namespace quillet::test
