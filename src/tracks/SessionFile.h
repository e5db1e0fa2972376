#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

#include "tracks/TrackTable.h"

namespace quillet {

// One row of the list as it is kept between runs: the record (file, stretch, length) and the
// caption. Statuses are not kept: a restored row is "unconverted".
struct SessionRow {
    TrackInfo record;
    QString caption;
};

// The list kept between runs, and the row the editor showed.
struct Session {
    std::vector<SessionRow> rows;
    int current = 0;
};

// The session file: JSON, {"format": "quillet-session", "version": 1, "current": n,
// "rows": [{"file", "caption", "startPos", "endPos", "startSec", "endSec", "lengthPos",
// "lengthSec"}, ...]}. A file or caption whose bytes are not UTF-8 has them beside it as base64
// ("fileBytes", "captionBytes").
class SessionFile {
  public:
    static constexpr int kVersion = 1;

    // session.json in $XDG_STATE_HOME/quillet (~/.local/state/quillet by default).
    static QString DefaultPath();

    static QByteArray Encode(const Session& session);
    // Nothing for anything but a whole, consistent session of this version: a damaged or
    // hand-edited file is not half taken.
    static std::optional<Session> Decode(const QByteArray& bytes);

    explicit SessionFile(QString path) : path_(std::move(path)) {}
    const QString& Path() const { return path_; }

    bool Exists() const;
    // Nothing when the file is missing, unreadable, damaged or of another version.
    std::optional<Session> Read() const;
    // Replaces the file as a whole (written beside it, then renamed), so that a crash at any
    // moment leaves the old file or the new one. The error's text when it fails; the old file
    // is then unchanged.
    std::optional<QString> Write(const Session& session) const;
    std::optional<QString> WriteBytes(const QByteArray& bytes) const;
    void Remove() const;

  private:
    QString path_;
};

}  // namespace quillet
