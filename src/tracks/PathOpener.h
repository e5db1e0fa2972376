#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>

namespace quillet {

class SettingsFile;
class TAudioFile2;
class TrackAdder;

// Files and folders handed to the window from outside its dialogs: the command line, a later
// start of the program, a drop. They wait while the window is busy (before it is ready, while
// a conversion or an add runs, while a dialog is open), then a file is added as Add File adds
// the files chosen in its dialog, and a folder as Add Path adds it with its sub-folders.
class PathOpener : public QObject {
    Q_OBJECT
  public:
    // How often a busy window is asked again.
    static constexpr int kRetryMs = 100;

    // busy: whether the paths must wait. settings: the window's settings file, null once the
    // window has closed (asked only when it is not busy; the paths that wait are then dropped).
    PathOpener(TrackAdder& adder, TAudioFile2& file, std::function<SettingsFile*()> settings,
               std::function<bool()> busy, QObject* parent = nullptr);

    // Adds them as soon as the window is free, after those given before.
    void Open(const QStringList& paths);
    bool Waiting() const { return !waiting_.isEmpty(); }

    // A file: as absolute, clean path; a "file:" address: its local file.
    static QString Absolute(const QString& argument);

  private:
    void TryNow();
    void Add(const QStringList& paths);

    TrackAdder& adder_;
    TAudioFile2& file_;
    std::function<SettingsFile*()> settings_;
    std::function<bool()> busy_;
    QStringList waiting_;
    QTimer timer_;
};

}  // namespace quillet
