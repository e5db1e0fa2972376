#pragma once

#include <QString>
#include <QStringList>

namespace quillet {

class SettingsFile;
class TAudioFile2;
class TrackList;
struct RunState;
struct TrackProbe;

// What adding files shows on the window, and the message pump it runs between files.
class AddView {
  public:
    virtual ~AddView() = default;
    // A box with the caption "Information", one OK button and no icon.
    virtual void Message(const QString& text) = 0;
    virtual void PumpMessages() = 0;
    // The window was closed in a pump: the add ends without starting anything new.
    virtual bool Closed() const = 0;
    // "Add File", "Remove File", "Clear", "Cut", "Join", "Play" off while adding (true).
    virtual void ShowAdding(bool adding) = 0;
    // With no row selected, the first row the add appended is selected and loaded.
    virtual void SelectFirstAppended(int row) = 0;
    virtual void ShowTotalTime() = 0;
};

// Adding files to the list: each file opened through the engine to check it and take its
// length, then appended with its record; the files that cannot be added are named in a box.
class TrackAdder {
  public:
    TrackAdder(TrackList& tracks, RunState& run, AddView& view)
        : tracks_(tracks), run_(run), view_(view) {}

    // Add File: the files chosen in the dialog, in its order, checked with `file`; their folder
    // becomes "file path" of [cut].
    void AddFiles(TAudioFile2& file, const QStringList& paths, SettingsFile& settings);
    // Add Path: the audio files of a folder, and of its sub-folders when asked, depth first in
    // the file system's order; checked with a file object of the scan's own.
    void ScanFolder(const QString& folder, bool includeSubFolders);

    enum class Outcome { Added, Skipped, ListFull };
    Outcome AddOne(TAudioFile2& file, const QString& path, const QString& caption);
    // The same with what probing the file told.
    Outcome AddProbed(const QString& path, const QString& caption, const TrackProbe& probe);

  private:
    TrackList& tracks_;
    RunState& run_;
    AddView& view_;
};

}  // namespace quillet
