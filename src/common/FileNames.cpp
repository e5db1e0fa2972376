#include "common/FileNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QUrl>
#include <cerrno>
#include <cstring>
#include <memory>

namespace quillet {

namespace {

constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;
constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence at data[0], and its code point; 0 if there is none.
// Overlong forms, surrogates and values past U+10FFFF are not valid.
int ValidSequence(const uint8_t* data, int64_t left, char32_t& codePoint) {
    const uint8_t lead = data[0];
    int length = 0;
    char32_t value = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (left < length) return 0;
    for (int i = 1; i < length; ++i) {
        if (!IsContinuation(data[i])) return 0;
        value = (value << 6) | (data[i] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    codePoint = value;
    return length;
}

void AppendUtf8(QByteArray& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

QString DecodeFileName(const QByteArray& name) {
    const auto* data = reinterpret_cast<const uint8_t*>(name.constData());
    const int64_t size = name.size();
    QString out;
    out.reserve(static_cast<qsizetype>(size));
    for (int64_t i = 0; i < size;) {
        char32_t c = 0;
        const int length = ValidSequence(data + i, size - i, c);
        if (length == 0) {
            out += QChar(static_cast<char16_t>(kFirstEscape + (data[i] - 0x80)));
            ++i;
            continue;
        }
        if (c < 0x10000) {
            out += QChar(static_cast<char16_t>(c));
        } else {
            out += QChar(QChar::highSurrogate(c));
            out += QChar(QChar::lowSurrogate(c));
        }
        i += length;
    }
    return out;
}

QByteArray EncodeFileName(const QString& name) {
    QByteArray out;
    out.reserve(name.size());
    const qsizetype size = name.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = name.at(i).unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < size &&
            QChar::isLowSurrogate(name.at(i + 1).unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(unit, name.at(i + 1).unicode()));
            ++i;
        } else if (unit >= kFirstEscape && unit <= kLastEscape) {
            out += static_cast<char>(0x80 + (unit - kFirstEscape));
        } else if (QChar::isSurrogate(unit)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

FileStatus StatFile(const QString& path) {
    FileStatus status;
    struct stat st {};
    if (path.isEmpty() || ::stat(EncodeFileName(path).constData(), &st) != 0) {
        status.error = path.isEmpty() ? ENOENT : errno;
        return status;
    }
    status.size = st.st_size;
    if (S_ISREG(st.st_mode))
        status.kind = FileStatus::Kind::File;
    else if (S_ISDIR(st.st_mode))
        status.kind = FileStatus::Kind::Folder;
    else
        status.kind = FileStatus::Kind::Other;
    return status;
}

QString AbsoluteFilePath(const QString& path) {
    if (path.startsWith(QLatin1Char('/'))) return QDir::cleanPath(path);
    char here[PATH_MAX];
    if (!::getcwd(here, sizeof here)) return QDir::cleanPath(path);
    return QDir::cleanPath(DecodeFileName(QByteArray(here)) + QLatin1Char('/') + path);
}

QString CanonicalFilePath(const QString& path) {
    char resolved[PATH_MAX];
    if (path.isEmpty() || !::realpath(EncodeFileName(path).constData(), resolved)) return {};
    return DecodeFileName(QByteArray(resolved));
}

QStringList FolderEntries(const QString& folder) {
    struct DirCloser {
        void operator()(DIR* dir) const { ::closedir(dir); }
    };
    QStringList names;
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(EncodeFileName(folder).constData()));
    if (!dir) return names;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        names << DecodeFileName(QByteArray(entry->d_name));
    }
    return names;
}

int OpenForReading(QFile& file, const QString& path) {
    const int fd =
        path.isEmpty() ? -1 : ::open(EncodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return path.isEmpty() ? ENOENT : errno;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return EIO;
    }
    return 0;
}

QString LocalFilePath(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    return DecodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QStringList ArgumentsOf(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << DecodeFileName(QByteArray(argv[i]));
    return arguments;
}

}  // namespace quillet
