#pragma once

#include <QString>
#include <cstdint>

namespace quillet {

class ConversionHost;
class TAudioFile2;
struct ConversionRow;

// What Cut and Join share: the guards on entry, the copy of one row's segment, and the window's
// controls while a conversion runs.
class ConversionCommand {
  protected:
    explicit ConversionCommand(ConversionHost& host) : host_(host) {}

    // "Please add file!", "Please stop playing first.", or silence during a conversion.
    bool MayStart();
    // Opens the row's file at the start of its segment; gives the segment's length.
    int64_t OpenSegment(const ConversionRow& row);
    // A tenth of a second of the reader's audio: the most the writer encodes between two
    // message pumps.
    static int32_t WriteSlice(const TAudioFile2& reader);
    void CloseReader();
    void CloseWriter();
    bool IsConverting() const;
    static void MakeWritable(const QString& path);
    // Whether writing path would replace the file itself (through any link or spelling).
    static bool IsSameFile(const QString& path, const QString& other);
    // The first row whose input file writing path would replace, or -1.
    int RowWithInput(const QString& path) const;
    // The folder exists afterwards unless one level was not enough or rights are missing; the
    // writer then reports it.
    static void CreateFolder(const QString& dir);

    ConversionHost& host_;
};

// Switches the window's controls to converting and back when the command is left, also by an
// engine error (whose handler restores the flag, the files and the bar itself).
class ConvertingControls {
  public:
    explicit ConvertingControls(ConversionHost& host);
    ~ConvertingControls();
    ConvertingControls(const ConvertingControls&) = delete;
    ConvertingControls& operator=(const ConvertingControls&) = delete;

  private:
    ConversionHost& host_;
};

}  // namespace quillet
