#include "tracks/SessionFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>
#include <cstdint>
#include <limits>

#include "common/FileNames.h"

namespace quillet {

namespace {

const QString kFormat = QStringLiteral("quillet-session");

// A list of 10001 rows with long paths stays far below this; anything larger is not ours.
constexpr qint64 kMaxBytes = 64 * 1024 * 1024;

constexpr double kInt32Max = std::numeric_limits<int32_t>::max();

// A whole number within [low, high], as JSON carries it.
std::optional<int64_t> Whole(const QJsonValue& value, double low, double high) {
    if (!value.isDouble()) return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high) return std::nullopt;
    return static_cast<int64_t>(d);
}

// A name in bytes that are not UTF-8 (its escapes) does not survive JSON's UTF-8: its bytes go
// beside it as base64 under key + "Bytes", and are read back first.
void PutName(QJsonObject& o, const QString& key, const QString& name) {
    o.insert(key, name);
    const QByteArray bytes = EncodeFileName(name);
    if (QString::fromUtf8(bytes) != name)
        o.insert(key + QStringLiteral("Bytes"), QString::fromLatin1(bytes.toBase64()));
}

QJsonValue TakeName(const QJsonObject& o, const QString& key) {
    const QJsonValue bytes = o.value(key + QStringLiteral("Bytes"));
    if (!bytes.isString()) return o.value(key);
    const auto decoded = QByteArray::fromBase64Encoding(bytes.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    return decoded ? QJsonValue(DecodeFileName(*decoded)) : QJsonValue();
}

QJsonObject EncodeRow(const SessionRow& row) {
    const TrackInfo& t = row.record;
    QJsonObject o{
        {QStringLiteral("startPos"), static_cast<qint64>(t.StartPos)},
        {QStringLiteral("endPos"), static_cast<qint64>(t.EndPos)},
        {QStringLiteral("startSec"), t.StartSec},
        {QStringLiteral("endSec"), t.EndSec},
        {QStringLiteral("lengthPos"), static_cast<qint64>(t.LengthPos)},
        {QStringLiteral("lengthSec"), t.LengthSec},
    };
    PutName(o, QStringLiteral("file"), t.FilePath);
    PutName(o, QStringLiteral("caption"), row.caption);
    return o;
}

// The engine's lengths are 32-bit, and a row's stretch lies within its file, begin first:
// nothing else can come from the program.
std::optional<SessionRow> DecodeRow(const QJsonValue& value) {
    if (!value.isObject()) return std::nullopt;
    const QJsonObject o = value.toObject();
    const QJsonValue file = TakeName(o, QStringLiteral("file"));
    const QJsonValue caption = TakeName(o, QStringLiteral("caption"));
    if (!file.isString() || !caption.isString()) return std::nullopt;
    SessionRow row;
    row.record.FilePath = file.toString();
    row.caption = caption.toString();
    // A caption names Cut's output inside its folder: no folder separators, no NULs.
    if (!QDir::isAbsolutePath(row.record.FilePath) || row.record.FilePath.contains(QChar(0)) ||
        row.caption.isEmpty() || row.caption.contains(QLatin1Char('/')) ||
        row.caption.contains(QChar(0)))
        return std::nullopt;

    const auto lengthPos = Whole(o.value(QStringLiteral("lengthPos")), 1, kInt32Max);
    const auto lengthSec = Whole(o.value(QStringLiteral("lengthSec")), 0, kInt32Max);
    if (!lengthPos || !lengthSec) return std::nullopt;
    const auto startPos = Whole(o.value(QStringLiteral("startPos")), 0, *lengthPos);
    const auto endPos = Whole(o.value(QStringLiteral("endPos")), 0, *lengthPos);
    const auto startSec = Whole(o.value(QStringLiteral("startSec")), 0, *lengthSec);
    const auto endSec = Whole(o.value(QStringLiteral("endSec")), 0, *lengthSec);
    if (!startPos || !endPos || !startSec || !endSec) return std::nullopt;
    if (*startPos > *endPos || *startSec > *endSec) return std::nullopt;

    TrackInfo& t = row.record;
    t.StartPos = *startPos;
    t.EndPos = *endPos;
    t.StartSec = static_cast<int32_t>(*startSec);
    t.EndSec = static_cast<int32_t>(*endSec);
    t.LengthPos = *lengthPos;
    t.LengthSec = static_cast<int32_t>(*lengthSec);
    return row;
}

}  // namespace

QString SessionFile::DefaultPath() {
    // Qt before 6.7 has no state location; the XDG rule: an unset or relative
    // $XDG_STATE_HOME means ~/.local/state.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quillet/session.json");
}

QByteArray SessionFile::Encode(const Session& session) {
    QJsonArray rows;
    for (const SessionRow& row : session.rows) rows.append(EncodeRow(row));
    const QJsonObject root{
        {QStringLiteral("format"), kFormat},
        {QStringLiteral("version"), kVersion},
        {QStringLiteral("current"), session.current},
        {QStringLiteral("rows"), rows},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<Session> SessionFile::Decode(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("format")).toString() != kFormat) return std::nullopt;
    if (Whole(root.value(QStringLiteral("version")), kVersion, kVersion) != kVersion)
        return std::nullopt;
    const QJsonValue rows = root.value(QStringLiteral("rows"));
    if (!rows.isArray() || rows.toArray().size() > TrackTable::kCapacity) return std::nullopt;

    Session session;
    for (const QJsonValue& value : rows.toArray()) {
        std::optional<SessionRow> row = DecodeRow(value);
        if (!row) return std::nullopt;
        session.rows.push_back(std::move(*row));
    }
    const double lastRow = std::max<double>(0, static_cast<double>(session.rows.size()) - 1);
    const auto current = Whole(root.value(QStringLiteral("current")), 0, lastRow);
    if (!current) return std::nullopt;
    session.current = static_cast<int>(*current);
    return session;
}

bool SessionFile::Exists() const { return QFileInfo(path_).isFile(); }

std::optional<Session> SessionFile::Read() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes) return std::nullopt;
    return Decode(file.read(kMaxBytes));
}

std::optional<QString> SessionFile::Write(const Session& session) const {
    return WriteBytes(Encode(session));
}

std::optional<QString> SessionFile::WriteBytes(const QByteArray& bytes) const {
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder))
        return QStringLiteral("Unable to write to %1: the folder %2 cannot be made")
            .arg(path_, folder);
    QSaveFile file(path_);
    // The list names the user's files: for the user's eyes only.
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(bytes) != bytes.size() || !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return QStringLiteral("Unable to write to %1: %2").arg(path_, reason);
    }
    return std::nullopt;
}

void SessionFile::Remove() const { QFile::remove(path_); }

}  // namespace quillet
