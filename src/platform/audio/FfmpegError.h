#pragma once

#include <QString>

#include "platform/audio/AudioError.h"

namespace quillet {

// "Unable to <purpose> \"<file>\": <reason>." Every failure of the engine on a file is told in
// this one sentence form.
AudioError EngineError(const QString& purpose, const QString& path, const QString& reason);

// EngineError with FFmpeg's text for code as the reason.
AudioError FfmpegError(const QString& purpose, const QString& path, int code);

// EngineError with the C library's text for an errno value as the reason.
AudioError SystemError(const QString& purpose, const QString& path, int error);

// The path as FFmpeg and the C library want it: the bytes of its name, whatever they are.
QByteArray NativePath(const QString& path);

}  // namespace quillet
