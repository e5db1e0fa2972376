#include "common/SingleInstance.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <memory>

#include "common/FileNames.h"

namespace quillet {

namespace {

const QByteArray kHeader = QByteArrayLiteral("quillet-open 1");
constexpr char kTaken = 'k';
// Thousands of long paths fit; a peer sending more is not one of ours.
constexpr qsizetype kMaxMessage = 16 * 1024 * 1024;

// A folder only this user can enter, made if missing.
bool PrivateFolder(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    ::mkdir(native.constData(), 0700);
    struct stat st {};
    return ::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

QString SingleInstance::DefaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime;
    // A root shell or a container often has no runtime folder.
    const QString own =
        QDir::tempPath() + QStringLiteral("/quillet-") + QString::number(::getuid());
    return PrivateFolder(own) ? own : QString();
}

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    // The socket goes before the lock, so that a later start never finds a lock free and an
    // old socket answering.
    if (server_) server_->close();
}

QString SingleInstance::SocketPath() const { return folder_ + QStringLiteral("/quillet.socket"); }

QString SingleInstance::LockPath() const { return folder_ + QStringLiteral("/quillet.lock"); }

bool SingleInstance::Claim() {
    if (folder_.isEmpty()) return true;
    auto lock = std::make_unique<QFile>(LockPath());
    // The lock file is never removed: a start that opened it must lock the same file as the
    // others.
    if (!lock->open(QIODevice::ReadWrite)) return true;
    lock->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (::flock(lock->handle(), LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK;
    lock_ = std::move(lock);

    // A socket left by a crash: with the lock held, nobody else listens on it.
    QLocalServer::removeServer(SocketPath());
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(SocketPath())) return true;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
    return true;
}

bool SingleInstance::Serving() const { return server_ && server_->isListening(); }

bool SingleInstance::HandOver(const QStringList& paths, int timeoutMs) const {
    if (folder_.isEmpty()) return false;
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return std::max<qint64>(0, timeoutMs - clock.elapsed()); };
    QLocalSocket socket;
    // The first start may hold the lock and not listen yet.
    for (;;) {
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(static_cast<int>(std::min<qint64>(left(), 500)))) break;
        socket.abort();
        if (left() == 0) return false;
        QThread::msleep(50);
    }
    socket.write(Encode(paths));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(left()))) return false;
    }
    while (socket.bytesAvailable() == 0) {
        if (left() == 0 || !socket.waitForReadyRead(static_cast<int>(left()))) return false;
    }
    return socket.read(1) == QByteArray(1, kTaken);
}

QByteArray SingleInstance::Encode(const QStringList& paths) {
    QByteArray bytes = kHeader;
    bytes.append('\0');
    for (const QString& path : paths) {
        if (path.isEmpty() || path.contains(QChar(0))) continue;
        bytes.append(EncodeFileName(path));  // file names: their own bytes
        bytes.append('\0');
    }
    bytes.append('\0');
    return bytes;
}

SingleInstance::Decoded SingleInstance::Decode(const QByteArray& bytes, QStringList& paths) {
    paths.clear();
    if (bytes.size() > kMaxMessage) return Decoded::Invalid;
    const qsizetype end = bytes.indexOf(QByteArrayView("\0\0", 2));
    if (end < 0) {
        // Whatever has come must at least begin as a message does.
        const qsizetype n = std::min(bytes.size(), kHeader.size() + 1);
        const QByteArray start = kHeader + QByteArray(1, '\0');
        return bytes.left(n) == start.left(n) ? Decoded::Incomplete : Decoded::Invalid;
    }
    const QList<QByteArray> fields = bytes.left(end).split('\0');
    if (fields.isEmpty() || fields.front() != kHeader || end + 2 != bytes.size())
        return Decoded::Invalid;
    for (qsizetype i = 1; i < fields.size(); ++i) paths << DecodeFileName(fields[i]);
    return Decoded::Whole;
}

void SingleInstance::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, buffer] { Read(*socket, *buffer); });
        Read(*socket, *buffer);
    }
}

void SingleInstance::Read(QLocalSocket& socket, QByteArray& buffer) {
    if (socket.state() != QLocalSocket::ConnectedState) return;
    buffer += socket.readAll();
    QStringList paths;
    switch (Decode(buffer, paths)) {
        case Decoded::Incomplete:
            return;
        case Decoded::Invalid:
            socket.abort();
            return;
        case Decoded::Whole:
            break;
    }
    buffer.clear();
    socket.write(QByteArray(1, kTaken));
    socket.flush();
    socket.disconnectFromServer();
    emit PathsReceived(paths);
}

}  // namespace quillet
