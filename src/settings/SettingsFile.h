#pragma once

#include <QString>
#include <stdexcept>

namespace quillet {

class SettingsError : public std::runtime_error {
  public:
    explicit SettingsError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

// The INI settings file. Holds only its path and caches nothing: every read goes to the file,
// every write replaces it atomically at once. Sections and keys match without regard to case.
// Several processes may share the file: writes take turns through the lock file beside it
// (quillet.ini.lock); reads take no lock and see the file before or after a write, whole.
class SettingsFile {
  public:
    explicit SettingsFile(QString path);

    // quillet.ini in the user's configuration folder.
    static QString DefaultPath();
    const QString& Path() const { return path_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    int ReadInteger(const QString& section, const QString& key, int def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    // Throw SettingsError "Unable to write to <path>" when the file cannot be written, also when
    // the disk is full or another process keeps the lock past a bounded wait; the file is then
    // unchanged.
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    void WriteBool(const QString& section, const QString& key, bool value);

  private:
    QString path_;
};

}  // namespace quillet
