#include "platform/audio/FfmpegError.h"

#include <cstring>

#include "common/FileNames.h"

extern "C" {
#include <libavutil/error.h>
}

namespace quillet {

AudioError EngineError(const QString& purpose, const QString& path, const QString& reason) {
    return AudioError(QStringLiteral("Unable to %1 \"%2\": %3.").arg(purpose, path, reason));
}

AudioError FfmpegError(const QString& purpose, const QString& path, int code) {
    // FFmpeg's own words for these speak to its developers, not to someone with a file.
    if (code == AVERROR_PATCHWELCOME)
        return EngineError(purpose, path,
                           QStringLiteral("it uses a feature of its format that cannot be read"));
    if (code == AVERROR_INVALIDDATA)
        return EngineError(purpose, path,
                           QStringLiteral("it is damaged, or its content is not audio of a "
                                          "known kind"));
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return EngineError(purpose, path, QString::fromLocal8Bit(text));
}

AudioError SystemError(const QString& purpose, const QString& path, int error) {
    return EngineError(purpose, path, QString::fromLocal8Bit(std::strerror(error)));
}

QByteArray NativePath(const QString& path) { return EncodeFileName(path); }

}  // namespace quillet
