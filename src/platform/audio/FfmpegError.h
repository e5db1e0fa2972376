#pragma once

#include <QString>

#include "platform/audio/AudioError.h"

namespace quillet {

// "Unable to <purpose> \"<file>\": <FFmpeg's text for code>."
AudioError FfmpegError(const QString& purpose, const QString& path, int code);

// The path as FFmpeg and the C library want it (the file system's encoding).
QByteArray NativePath(const QString& path);

}  // namespace quillet
