#pragma once

#include <QString>
#include <cstdint>

namespace quillet {

class ConversionHost;
class CopyThreads;
class TAudioFile2;
struct ConversionRow;
struct CopyHooks;
struct SourceFormat;

// A tenth of a second of the source: the most handed to the writer between two message pumps.
int32_t WriteSlice(const SourceFormat& source);
// Before an engine file object opens or creates a file, it is closed if it is open.
void CloseIfOpen(TAudioFile2& file);

// What Cut and Join share: the guards on entry, the copy of one row's segment, and the window's
// controls while a conversion runs.
class ConversionCommand {
  protected:
    explicit ConversionCommand(ConversionHost& host) : host_(host) {}

    // "Please add file!", "Please stop playing first.", or silence during a conversion.
    bool MayStart();
    // The window's message pump, IsConverting and progress bar, for the copy loop.
    CopyHooks Hooks();
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
