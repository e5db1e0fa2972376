#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace quillet {

class SettingsFile;
struct RunState;
class TAudioFile2;
class TAudioFile2LameEnc;
class TAudioInformation2;

// The segment of one list row as the conversion reads it.
struct ConversionRow {
    QString filePath;
    int64_t startPos = 0;
    int64_t endPos = 0;
};

// The file named in Join's save dialog and the format of the file type chosen there.
struct JoinTarget {
    QString path;
    int formatIndex = 0;
};

// What Cut and Join need of the main window: its run-state, list, engine objects, controls and
// prompts. The window implements it; tests may script it.
class ConversionHost {
  public:
    virtual ~ConversionHost() = default;

    // IsConverting and OutputDir live here.
    virtual RunState& Run() = 0;
    virtual bool IsPlaying() const = 0;

    virtual int RowCount() const = 0;
    virtual QString RowCaption(int row) const = 0;
    virtual ConversionRow Row(int row) const = 0;
    virtual void SetRowStatus(int row, const QString& status) = 0;
    virtual int FormatIndex() const = 0;  // cb_format, -1 when nothing is selected

    virtual SettingsFile& Settings() = 0;
    virtual TAudioFile2& Reader() = 0;
    virtual TAudioFile2& Writer() = 0;
    virtual TAudioFile2LameEnc& Mp3Encoder() = 0;
    virtual TAudioInformation2& Information() = 0;

    virtual void PumpMessages() = 0;
    virtual void SetProgress(int percent) = 0;
    // The 13 menu items disabled, "Begin bar" and "End bar" hidden, the bar's caption on.
    virtual void ShowConverting() = 0;
    // The same items enabled, the bars shown, the caption off.
    virtual void ShowIdle() = 0;

    virtual void ShowInformation(const QString& text) = 0;
    // "File has existed. Overwrite?" answered Yes.
    virtual bool ConfirmOverwrite() = 0;
    virtual std::optional<JoinTarget> ChooseJoinTarget(const QString& startFolder) = 0;
};

}  // namespace quillet
