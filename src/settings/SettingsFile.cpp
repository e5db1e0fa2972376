#include "settings/SettingsFile.h"

#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace quillet {

namespace {

// Longest string value a read returns, as the Windows profile functions do with a buffer of
// 2048 characters and its terminator.
constexpr int kMaxValueLength = 2047;

// A write takes milliseconds, so a writer that waits this long for another process's write is
// facing a process that hangs, and gives up.
constexpr int kLockWaitMs = 5000;
// A lock file whose process is gone is taken over at once. One older than this is taken over
// too, unless its holder still has it locked (flock), as a live holder does: it may have been
// left empty by a process that died between making it and writing its process id into it,
// which QLockFile does after working out its host and machine names.
constexpr int kStaleLockMs = 1000;

// One line of the file as stored: its text and its own terminator ("\r\n", "\n" or none), so
// that a rewrite gives back every line it does not change byte for byte.
struct Line {
    QByteArray text;
    QByteArray end;
};

struct ParsedFile {
    std::vector<Line> lines;
    QByteArray newline = "\n";
};

// A file that does not exist reads as empty. nullopt means it exists but cannot be read.
// The file is only ever replaced by a rename, never changed in place, so the one open file is
// the old version or the new one, whole, whatever a writer does meanwhile.
std::optional<QByteArray> ReadFileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!file.exists()) return QByteArray();
        return std::nullopt;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

// QLockFile takes over a stale lock only while it holds a second lock file beside it,
// "<lock>.rmlock", whose stale time is its default of 30 s: an empty one, left by a process
// killed while making it, would keep every write out for that long. It is taken over here the
// way the lock is.
void ClearStaleRemovalLock(const QString& lockPath) {
    const QString path = lockPath + QStringLiteral(".rmlock");
    if (!QFile::exists(path)) return;
    QLockFile removal(path);
    removal.setStaleLockTime(kStaleLockMs);
    if (removal.tryLock(0)) removal.unlock();
}

// The lock that makes the writes of several processes take turns, so that none reads the file
// while another is replacing it and then writes back a version without the other's key.
// QLockFile::tryLock with a timeout sleeps 100 ms and more between attempts; writes are short,
// so this polls more often.
bool LockForWrite(QLockFile& lock, const QString& lockPath) {
    lock.setStaleLockTime(kStaleLockMs);
    const QDeadlineTimer deadline(kLockWaitMs);
    std::chrono::milliseconds pause(1);
    for (;;) {
        if (lock.tryLock(0)) return true;
        if (lock.error() != QLockFile::LockFailedError || deadline.hasExpired()) return false;
        ClearStaleRemovalLock(lockPath);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

// Writes the new file beside the old one and renames it over the old one only once every byte
// of it is on the disk, so that a full disk or a crash leaves the old file whole.
bool ReplaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    // Unbuffered, so that a failed write shows here: a buffered one fails only in the flush
    // inside commit(), and commit() then renames the short file over the old one and succeeds.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    if (file.write(bytes) != bytes.size()) return false;
    // commit() syncs too but ignores a failure; EINVAL is a file system that cannot sync.
    if (::fsync(file.handle()) != 0 && errno != EINVAL) return false;
    return file.commit();
}

ParsedFile SplitLines(const QByteArray& bytes) {
    ParsedFile parsed;
    qsizetype start = 0;
    bool styleKnown = false;
    while (start < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) {
            parsed.lines.push_back({bytes.mid(start), QByteArray()});
            break;
        }
        const bool crlf = lf > start && bytes.at(lf - 1) == '\r';
        const qsizetype textEnd = crlf ? lf - 1 : lf;
        parsed.lines.push_back({bytes.mid(start, textEnd - start), crlf ? "\r\n" : "\n"});
        if (!styleKnown) {
            parsed.newline = crlf ? "\r\n" : "\n";
            styleKnown = true;
        }
        start = lf + 1;
    }
    return parsed;
}

// The line's text as the parser sees it: a UTF-8 byte order mark on the first line dropped,
// surrounding blanks trimmed. Invalid UTF-8 decodes to replacement characters and so never
// matches a section or key name.
QString LogicalText(const Line& line, bool first) {
    QByteArray text = line.text;
    if (first && text.startsWith("\xEF\xBB\xBF")) text.remove(0, 3);
    return QString::fromUtf8(text).trimmed();
}

// The section name of a header line "[name]", or nullopt when the line is no header.
std::optional<QString> SectionName(const QString& text) {
    if (!text.startsWith(u'[')) return std::nullopt;
    const qsizetype close = text.lastIndexOf(u']');
    if (close < 1) return std::nullopt;
    return text.mid(1, close - 1).trimmed();
}

bool IsComment(const QString& text) { return text.startsWith(u';') || text.startsWith(u'#'); }

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Where a key lives in the file: the first section of that name and, in it, the first line of
// that key. Later duplicates are ignored, as the Windows profile functions ignore them.
struct Location {
    int sectionLine = -1;      // header line of the section, -1 when absent
    int lastContentLine = -1;  // last non-blank line of the section (the header if none)
    int keyLine = -1;          // -1 when the key is absent from the section
    QString rawValue;          // text after '=', trimmed
};

Location Locate(const ParsedFile& file, const QString& section, const QString& key) {
    Location at;
    for (int i = 0; i < static_cast<int>(file.lines.size()); ++i) {
        const QString text = LogicalText(file.lines[i], i == 0);
        if (const auto name = SectionName(text)) {
            if (at.sectionLine >= 0) break;  // the section ended
            if (SameName(*name, section)) at.sectionLine = at.lastContentLine = i;
            continue;
        }
        if (at.sectionLine < 0) continue;
        if (!text.isEmpty()) at.lastContentLine = i;
        if (at.keyLine >= 0 || IsComment(text)) continue;
        const qsizetype eq = text.indexOf(u'=');
        if (eq < 0 || !SameName(text.left(eq).trimmed(), key)) continue;
        at.keyLine = i;
        at.rawValue = text.mid(eq + 1).trimmed();
    }
    return at;
}

bool IsQuote(QChar c) { return c == u'"' || c == u'\''; }

// A value in matching quotes is read without them, so that a value with blanks at its ends can
// be stored quoted and read back unchanged.
QString Unquote(const QString& value) {
    if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

bool NeedsQuotes(const QString& value) {
    if (value.isEmpty()) return false;
    if (value != value.trimmed()) return true;
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

std::optional<int> ParseDigits(const QString& digits, int base, bool negative) {
    if (digits.isEmpty()) return std::nullopt;
    quint64 magnitude = 0;
    for (QChar c : digits) {
        const char16_t u = c.unicode();
        int value = -1;
        if (u >= u'0' && u <= u'9') value = u - u'0';
        if (u >= u'a' && u <= u'f') value = u - u'a' + 10;
        if (u >= u'A' && u <= u'F') value = u - u'A' + 10;
        if (value < 0 || value >= base) return std::nullopt;
        magnitude = magnitude * base + value;
        if (magnitude > 0xFFFFFFFFull) return std::nullopt;
    }
    if (base == 16) {
        // Hexadecimal gives a 32-bit pattern, so $FFFFFFFF reads as -1.
        const auto pattern = static_cast<quint32>(negative ? 0 - magnitude : magnitude);
        return static_cast<int32_t>(pattern);
    }
    if (magnitude > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
    return static_cast<int>(negative ? -static_cast<qint64>(magnitude)
                                     : static_cast<qint64>(magnitude));
}

// An optional sign, then decimal digits, "$" and hexadecimal digits, or "0x"/"0X" and
// hexadecimal digits. The whole text must convert: "12abc" and "" give nullopt.
std::optional<int> ParseInteger(const QString& text) {
    QString rest = text;
    bool negative = false;
    if (rest.startsWith(u'+') || rest.startsWith(u'-')) {
        negative = rest.front() == u'-';
        rest.remove(0, 1);
    }
    if (rest.startsWith(u'$')) return ParseDigits(rest.mid(1), 16, negative);
    if (rest.size() > 2 && rest.startsWith(u'0') && (rest.at(1) == u'x' || rest.at(1) == u'X'))
        return ParseDigits(rest.mid(2), 16, negative);
    return ParseDigits(rest, 10, negative);
}

}  // namespace

SettingsFile::SettingsFile(QString path) : path_(std::move(path)) {}

QString SettingsFile::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quillet.ini");
}

QString SettingsFile::ReadString(const QString& section, const QString& key,
                                 const QString& def) const {
    const auto bytes = ReadFileBytes(path_);
    if (!bytes) return def;
    const Location at = Locate(SplitLines(*bytes), section, key);
    if (at.keyLine < 0) return def;
    return Unquote(at.rawValue).left(kMaxValueLength);
}

int SettingsFile::ReadInteger(const QString& section, const QString& key, int def) const {
    return ParseInteger(ReadString(section, key, QString())).value_or(def);
}

bool SettingsFile::ReadBool(const QString& section, const QString& key, bool def) const {
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void SettingsFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString unableToWrite = QStringLiteral("Unable to write to %1").arg(path_);
    // A line break would split the entry and change other keys; such a value cannot be stored.
    if (value.contains(u'\n') || value.contains(u'\r') || key.contains(u'\n') ||
        section.contains(u'\n'))
        throw SettingsError(unableToWrite);

    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) throw SettingsError(unableToWrite);
    const QString lockPath = path_ + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (!LockForWrite(lock, lockPath)) throw SettingsError(unableToWrite);

    // Reading first: a file that exists but cannot be read must not be replaced by one that
    // holds only this key.
    const auto bytes = ReadFileBytes(path_);
    if (!bytes) throw SettingsError(unableToWrite);
    ParsedFile file = SplitLines(*bytes);
    const Location at = Locate(file, section, key);

    const QByteArray stored =
        (NeedsQuotes(value) ? QStringLiteral("\"%1\"").arg(value) : value).toUtf8();
    if (at.keyLine >= 0) {
        Line& line = file.lines[at.keyLine];
        line.text = line.text.left(line.text.indexOf('=') + 1) + stored;
    } else {
        const Line entry{key.toUtf8() + '=' + stored, file.newline};
        const int insertAt =
            at.sectionLine >= 0 ? at.lastContentLine + 1 : static_cast<int>(file.lines.size());
        // A last line without a terminator gets one when something is added after it.
        if (insertAt == static_cast<int>(file.lines.size()) && !file.lines.empty() &&
            file.lines.back().end.isEmpty())
            file.lines.back().end = file.newline;
        if (at.sectionLine >= 0) {
            file.lines.insert(file.lines.begin() + insertAt, entry);
        } else {
            if (!file.lines.empty() && !LogicalText(file.lines.back(), false).isEmpty())
                file.lines.push_back({QByteArray(), file.newline});
            file.lines.push_back({'[' + section.toUtf8() + ']', file.newline});
            file.lines.push_back(entry);
        }
    }

    QByteArray out;
    out.reserve(bytes->size() + stored.size() + key.size() + section.size() + 8);
    for (const Line& line : file.lines) out += line.text + line.end;

    if (!ReplaceFile(path_, out)) throw SettingsError(unableToWrite);
}

void SettingsFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

void SettingsFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

}  // namespace quillet
