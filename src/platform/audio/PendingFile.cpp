#include "platform/audio/PendingFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "common/FileNames.h"
#include "platform/audio/FfmpegError.h"

namespace quillet {

namespace {

const QString kMarker = QStringLiteral(".quillet-");
const QString kSuffix = QStringLiteral(".part");

// A file name has at most 255 bytes; the pending name adds about 40 to the target's.
QString ShortName(const QString& name) {
    QString shortName = name;
    while (EncodeFileName(shortName).size() > 200 ||
           (!shortName.isEmpty() && shortName.back().isHighSurrogate()))
        shortName.chop(1);
    return shortName;
}

// Pending files of target left by processes that no longer run, listed with readdir: Qt cannot
// see names that are not UTF-8, and the target's name may be one.
void RemoveAbandoned(const QString& folder, const QString& prefix) {
    for (const QString& name : FolderEntries(folder)) {
        if (!name.startsWith(prefix) || !name.endsWith(kSuffix)) continue;
        const QString path = folder + name;
        if (StatFile(path).IsFolder()) continue;
        const QString rest = name.mid(prefix.size());
        bool ok = false;
        const qint64 pid = rest.left(rest.indexOf(QLatin1Char('-'))).toLongLong(&ok);
        if (!ok || pid <= 0 || pid == ::getpid()) continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlink(EncodeFileName(path).constData());
    }
}

int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

void SyncFolder(const QByteArray& file) {
    const QByteArray folder = file.left(std::max<qsizetype>(file.lastIndexOf('/'), 1));
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);  // the rename is done either way; this only makes it last
    ::close(fd);
}

}  // namespace

PendingFile::~PendingFile() { Discard(); }

PendingFile::PendingFile(PendingFile&& other) noexcept
    : target_(std::move(other.target_)),
      final_(std::move(other.final_)),
      path_(std::move(other.path_)),
      fd_(std::exchange(other.fd_, -1)) {}

PendingFile& PendingFile::operator=(PendingFile&& other) noexcept {
    if (this != &other) {
        Discard();
        target_ = std::move(other.target_);
        final_ = std::move(other.final_);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

QString PendingFile::Path() const { return DecodeFileName(path_); }

void PendingFile::Open(const QString& target) {
    target_ = target;
    // Through a link the file it points to is replaced, and the link kept.
    const QString canonical = CanonicalFilePath(target);
    const QString absolute = canonical.isEmpty() ? AbsoluteFilePath(target) : canonical;
    final_ = EncodeFileName(absolute);
    const qsizetype slash = absolute.lastIndexOf(QLatin1Char('/'));
    const QString folder = absolute.left(slash + 1);  // with its "/"
    const QString prefix = QLatin1Char('.') + ShortName(absolute.mid(slash + 1)) + kMarker;
    RemoveAbandoned(folder, prefix);

    struct stat existing {};
    const bool exists = ::stat(final_.constData(), &existing) == 0;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const QString name = prefix + QString::number(::getpid()) + QLatin1Char('-') +
                             QString::number(QRandomGenerator::global()->generate(), 36) + kSuffix;
        path_ = EncodeFileName(folder + name);
        fd_ = ::open(path_.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) {
        const int error = errno;
        path_.clear();
        throw SystemError(QStringLiteral("create"), target, error);
    }
    // The new file keeps the rights of the one it replaces.
    if (exists) ::fchmod(fd_, existing.st_mode & 07777);
}

PendingFile PendingFile::Create(const QString& target) {
    PendingFile file;
    file.Open(target);
    return file;
}

PendingFile PendingFile::CopyOf(const QString& target) {
    const QByteArray source = EncodeFileName(target);
    const int in = ::open(source.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw SystemError(QStringLiteral("open"), target, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{in};
    PendingFile file = Create(target);
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw SystemError(QStringLiteral("read"), target, errno);
        if (n == 0) break;
        if (const int error = WriteAll(file.fd_, buffer.data(), static_cast<size_t>(n)))
            throw SystemError(QStringLiteral("save"), target, error);
    }
    return file;
}

void PendingFile::Commit() {
    if (fd_ < 0)
        throw EngineError(QStringLiteral("save"), target_, QStringLiteral("it is not open"));
    int error = ::fsync(fd_) == 0 ? 0 : errno;
    if (::close(std::exchange(fd_, -1)) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(path_.constData(), final_.constData()) != 0) error = errno;
    if (error != 0) {
        ::unlink(path_.constData());
        path_.clear();
        throw SystemError(QStringLiteral("save"), target_, error);
    }
    path_.clear();
    SyncFolder(final_);
}

void PendingFile::Discard() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    if (!path_.isEmpty()) ::unlink(path_.constData());
    path_.clear();
}

}  // namespace quillet
