#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QFile;
class QLocalServer;
class QLocalSocket;

namespace quillet {

// One running Quillet per user takes the files of later starts. The first start holds a lock on
// a file in the user's runtime folder for as long as it runs (the system lets it go when the
// process ends, a crash included) and listens on a local socket beside it; a later start that
// finds the lock taken connects and hands its paths over.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // $XDG_RUNTIME_DIR; without one, a folder of the user's own in the temporary folder. Empty
    // when neither can be had safely: every start is then a first one.
    static QString DefaultFolder();

    explicit SingleInstance(QString folder, QObject* parent = nullptr);
    ~SingleInstance() override;
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when no other instance runs: this one now takes the paths of later starts (or, with
    // no folder, there is nobody to ask). False when another one holds the lock.
    bool Claim();
    bool Serving() const;
    // Gives the paths to the instance that holds the lock, waiting at most timeoutMs for it to
    // listen and to answer; true once it has taken them.
    bool HandOver(const QStringList& paths, int timeoutMs = 5000) const;

    QString SocketPath() const;
    QString LockPath() const;

    // The message a later start sends: a header, then each path, each ended by a NUL, then an
    // empty field. Paths cannot hold NULs, so nothing needs escaping.
    static QByteArray Encode(const QStringList& paths);
    // Whether bytes hold a whole message, and its paths. Nothing while more is to come.
    enum class Decoded { Incomplete, Whole, Invalid };
    static Decoded Decode(const QByteArray& bytes, QStringList& paths);

  signals:
    void PathsReceived(const QStringList& paths);

  private:
    void Accept();
    void Read(QLocalSocket& socket, QByteArray& buffer);

    QString folder_;
    // Open, and locked, for as long as this instance serves.
    std::unique_ptr<QFile> lock_;
    QLocalServer* server_ = nullptr;
};

}  // namespace quillet
