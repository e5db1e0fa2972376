#include "platform/audio/FfmpegError.h"

#include <QFile>

extern "C" {
#include <libavutil/error.h>
}

namespace quillet {

AudioError FfmpegError(const QString& purpose, const QString& path, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return AudioError(QStringLiteral("Unable to %1 \"%2\": %3.")
                          .arg(purpose, path, QString::fromLocal8Bit(text)));
}

QByteArray NativePath(const QString& path) { return QFile::encodeName(path); }

}  // namespace quillet
