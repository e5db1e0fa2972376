#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

class QFile;
class QUrl;

namespace quillet {

// A file name's bytes as text, losslessly: valid UTF-8 reads as usual, and each byte that is not
// part of a valid sequence becomes U+DC80 + (byte - 0x80), a lone surrogate no valid UTF-8 can
// give. Qt turns such bytes into U+FFFD, and then cannot find the file again; old collections
// are full of Latin-1 names.
QString DecodeFileName(const QByteArray& name);
// The bytes DecodeFileName read the name from. A surrogate that no byte stands for becomes
// U+FFFD, as Qt writes it.
QByteArray EncodeFileName(const QString& name);

// What stat() says of a path named in any bytes.
struct FileStatus {
    enum class Kind { Missing, File, Folder, Other };
    Kind kind = Kind::Missing;
    int64_t size = -1;
    int error = 0;  // errno when Missing

    bool Exists() const { return kind != Kind::Missing; }
    bool IsFile() const { return kind == Kind::File; }
    bool IsFolder() const { return kind == Kind::Folder; }
};
FileStatus StatFile(const QString& path);

// The path made absolute against the current folder and cleaned of "." and "..", in text.
QString AbsoluteFilePath(const QString& path);
// The path with every link resolved (realpath), or empty when it does not lead anywhere.
QString CanonicalFilePath(const QString& path);
// The names in folder, "." and ".." left out, in the order the file system gives them. Empty
// when the folder cannot be read.
QStringList FolderEntries(const QString& folder);

// The local file a file: URL names, in its own bytes (QUrl::toLocalFile reads the
// percent-encoded bytes as UTF-8). Empty when it names none.
QString LocalFilePath(const QUrl& url);
// Program arguments as given, in their own bytes.
QStringList ArgumentsOf(int argc, const char* const* argv);

// Opens file for reading on path named in any bytes. 0, or errno.
int OpenForReading(QFile& file, const QString& path);

}  // namespace quillet
