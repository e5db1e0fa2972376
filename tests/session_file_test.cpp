// The session file: what is written comes back whole, and nothing but a whole, consistent file
// of this version is taken.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <functional>

#include "support/TmpfsMount.h"
#include "tracks/SessionFile.h"

namespace quillet {
namespace {

SessionRow Row(const QString& path, const QString& caption, int64_t startPos, int64_t endPos,
               int32_t startSec, int32_t endSec, int64_t lengthPos, int32_t lengthSec) {
    SessionRow row;
    row.record.FilePath = path;
    row.record.StartPos = startPos;
    row.record.EndPos = endPos;
    row.record.StartSec = startSec;
    row.record.EndSec = endSec;
    row.record.LengthPos = lengthPos;
    row.record.LengthSec = lengthSec;
    row.caption = caption;
    return row;
}

// Three rows as a user leaves them: a renamed one, a stretch to the exact position, and the
// longest file the engine can describe.
Session Sample() {
    Session s;
    s.rows.push_back(Row("/music/a b.mp3", "intro.mp3", 0, 441000, 0, 10, 441000, 10));
    s.rows.push_back(Row("/music/é ü/two.wav", "two.wav", 44101, 88199, 1, 2, 132300, 3));
    s.rows.push_back(
        Row("/x/long.ogg", "long.ogg", 2147483000, 2147483647, 48695, 48695, 2147483647, 48695));
    s.current = 1;
    return s;
}

void ExpectSame(const Session& a, const Session& b) {
    ASSERT_EQ(a.rows.size(), b.rows.size());
    EXPECT_EQ(a.current, b.current);
    for (size_t i = 0; i < a.rows.size(); ++i) {
        const TrackInfo& x = a.rows[i].record;
        const TrackInfo& y = b.rows[i].record;
        SCOPED_TRACE(i);
        EXPECT_EQ(a.rows[i].caption, b.rows[i].caption);
        EXPECT_EQ(x.FilePath, y.FilePath);
        EXPECT_EQ(x.StartPos, y.StartPos);
        EXPECT_EQ(x.EndPos, y.EndPos);
        EXPECT_EQ(x.StartSec, y.StartSec);
        EXPECT_EQ(x.EndSec, y.EndSec);
        EXPECT_EQ(x.LengthPos, y.LengthPos);
        EXPECT_EQ(x.LengthSec, y.LengthSec);
    }
}

QJsonObject SampleJson() { return QJsonDocument::fromJson(SessionFile::Encode(Sample())).object(); }

QByteArray Json(const QJsonObject& o) { return QJsonDocument(o).toJson(); }

// The sample with one field of the second row replaced.
QByteArray WithRowField(const QString& key, const QJsonValue& value) {
    QJsonObject root = SampleJson();
    QJsonArray rows = root["rows"].toArray();
    QJsonObject row = rows[1].toObject();
    if (value.isUndefined())
        row.remove(key);
    else
        row[key] = value;
    rows[1] = row;
    root["rows"] = rows;
    return Json(root);
}

TEST(SessionFile, WhatIsWrittenComesBackExactly) {
    const Session s = Sample();
    const auto decoded = SessionFile::Decode(SessionFile::Encode(s));
    ASSERT_TRUE(decoded.has_value());
    ExpectSame(*decoded, s);

    // An empty list is a list too.
    const auto empty = SessionFile::Decode(SessionFile::Encode(Session{}));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->rows.empty());
    EXPECT_EQ(empty->current, 0);

    // The file names its format and version, and the numbers are written as they are.
    const QJsonObject root = SampleJson();
    EXPECT_EQ(root["format"].toString(), "quillet-session");
    EXPECT_EQ(root["version"].toInt(), 1);
    EXPECT_TRUE(SessionFile::Encode(s).contains("\"endPos\": 2147483647"));
}

TEST(SessionFile, DamagedFilesAreRefusedWhole) {
    const QByteArray good = SessionFile::Encode(Sample());
    // Cut short anywhere, the file is not taken.
    for (qsizetype n = 0; n < good.size() - 2; ++n) {
        EXPECT_FALSE(SessionFile::Decode(good.left(n)).has_value()) << n;
    }
    // A flipped byte anywhere either leaves a valid file or none at all, never a crash.
    for (qsizetype i = 0; i < good.size(); ++i) {
        QByteArray bad = good;
        bad[i] = static_cast<char>(bad[i] ^ 0x5a);
        const auto decoded = SessionFile::Decode(bad);
        if (decoded) {
            EXPECT_EQ(decoded->rows.size(), 3u) << i;
        }
    }
    for (const QByteArray& junk :
         {QByteArray(), QByteArray("[]"), QByteArray("null"), QByteArray("{}"),
          QByteArray(1 << 16, '\0'), QByteArray(100000, '[')}) {
        EXPECT_FALSE(SessionFile::Decode(junk).has_value());
    }
}

TEST(SessionFile, HandEditedValuesOutsideWhatTheProgramWritesAreRefused) {
    struct Edit {
        const char* why;
        std::function<QByteArray()> make;
    };
    const auto root = [](const QString& key, const QJsonValue& value) {
        QJsonObject o = SampleJson();
        if (value.isUndefined())
            o.remove(key);
        else
            o[key] = value;
        return Json(o);
    };
    const Edit edits[] = {
        {"another version", [&] { return root("version", 2); }},
        {"version as text", [&] { return root("version", "1"); }},
        {"no version", [&] { return root("version", QJsonValue::Undefined); }},
        {"another format", [&] { return root("format", "playlist"); }},
        {"rows not a list", [&] { return root("rows", "a.mp3"); }},
        {"current past the rows", [&] { return root("current", 3); }},
        {"current negative", [&] { return root("current", -1); }},
        {"current a fraction", [&] { return root("current", 0.5); }},
        {"a row not an object",
         [&] {
             return root("rows", QJsonArray{1, 2});
         }},
        {"relative file", [&] { return WithRowField("file", "music/two.wav"); }},
        {"file not text", [&] { return WithRowField("file", 7); }},
        {"no caption", [&] { return WithRowField("caption", QJsonValue::Undefined); }},
        {"empty caption", [&] { return WithRowField("caption", ""); }},
        {"caption with a folder", [&] { return WithRowField("caption", "../../etc/x"); }},
        {"begin after end", [&] { return WithRowField("startPos", 88200); }},
        {"end past the length", [&] { return WithRowField("endPos", 132301); }},
        {"negative begin", [&] { return WithRowField("startPos", -1); }},
        {"fractional position", [&] { return WithRowField("endPos", 88199.5); }},
        {"position as text", [&] { return WithRowField("endPos", "88199"); }},
        {"no length", [&] { return WithRowField("lengthPos", QJsonValue::Undefined); }},
        {"zero length", [&] { return WithRowField("lengthPos", 0); }},
        {"length past 32 bits", [&] { return WithRowField("lengthPos", 2147483648.0); }},
        {"seconds past the length", [&] { return WithRowField("endSec", 4); }},
        {"begin second after end second", [&] { return WithRowField("startSec", 3); }},
        {"huge number", [&] { return WithRowField("lengthSec", 1e300); }},
    };
    for (const Edit& edit : edits) {
        EXPECT_FALSE(SessionFile::Decode(edit.make()).has_value()) << edit.why;
    }
    // Keys the program does not know, and another spacing, are fine.
    QJsonObject extra = SampleJson();
    extra["written by"] = "hand";
    EXPECT_TRUE(SessionFile::Decode(QJsonDocument(extra).toJson(QJsonDocument::Compact)));
    // A list longer than the table can hold is not ours.
    QJsonObject many = SampleJson();
    QJsonArray rows;
    for (int i = 0; i < TrackTable::kCapacity + 1; ++i) rows.append(many["rows"].toArray()[0]);
    many["rows"] = rows;
    EXPECT_FALSE(SessionFile::Decode(Json(many)));
    rows.removeLast();
    many["rows"] = rows;
    EXPECT_TRUE(SessionFile::Decode(Json(many)));
}

TEST(SessionFile, LivesInTheStateFolder) {
    const QByteArray saved = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/var/state-here");
    EXPECT_EQ(SessionFile::DefaultPath(), "/var/state-here/quillet/session.json");
    qputenv("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(SessionFile::DefaultPath(), QDir::homePath() + "/.local/state/quillet/session.json");
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(SessionFile::DefaultPath(), QDir::homePath() + "/.local/state/quillet/session.json");
    qputenv("XDG_STATE_HOME", saved);
    if (saved.isEmpty()) qunsetenv("XDG_STATE_HOME");
}

TEST(SessionFile, WritesReplaceTheFileWholeAndPrivately) {
    QTemporaryDir dir;
    const SessionFile file(dir.filePath("state/quillet/session.json"));
    EXPECT_FALSE(file.Exists());
    EXPECT_FALSE(file.Read().has_value());
    ASSERT_EQ(file.Write(Sample()), std::nullopt);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file.Path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ExpectSame(*file.Read(), Sample());
    // Only the file itself is in its folder: nothing half written beside it.
    EXPECT_EQ(QDir(dir.filePath("state/quillet")).entryList(QDir::Files | QDir::Hidden),
              QStringList({"session.json"}));

    Session shorter = Sample();
    shorter.rows.pop_back();
    shorter.current = 0;
    ASSERT_EQ(file.Write(shorter), std::nullopt);
    ExpectSame(*file.Read(), shorter);

    // A damaged file on disk reads as none.
    QFile damaged(file.Path());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write(SessionFile::Encode(Sample()).left(100));
    damaged.close();
    EXPECT_FALSE(file.Read().has_value());
    file.Remove();
    EXPECT_FALSE(file.Exists());

    // A folder in the file's place reads as none and cannot be written.
    const SessionFile folder(dir.path());
    EXPECT_FALSE(folder.Read().has_value());
    EXPECT_TRUE(folder.Write(Sample()).has_value());
}

TEST(SessionFile, AFullDiskLeavesTheOldFile) {
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath("small");
    test::TmpfsMount mount(mountPoint, "64k");
    QUILLET_REQUIRE_MOUNT(mount);
    const SessionFile file(mountPoint + "/session.json");
    ASSERT_EQ(file.Write(Sample()), std::nullopt);

    // A list far larger than the disk.
    Session big;
    for (int i = 0; i < 2000; ++i)
        big.rows.push_back(Row("/music/" + QString(100, QChar('a' + i % 26)) + ".mp3", "x.mp3", 0,
                               1000, 0, 1, 1000, 1));
    const std::optional<QString> error = file.Write(big);
    ASSERT_TRUE(error.has_value());
    EXPECT_TRUE(error->startsWith("Unable to write to " + file.Path())) << error->toStdString();
    ExpectSame(*file.Read(), Sample());
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden),
              QStringList({"session.json"}));
}

}  // namespace
}  // namespace quillet
