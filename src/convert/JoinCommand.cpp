#include "convert/JoinCommand.h"

#include <optional>

#include "common/FileNames.h"
#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/KeptAudioCut.h"
#include "convert/KeptAudioJoin.h"
#include "convert/OutputFormatConfig.h"
#include "convert/OutputNames.h"
#include "convert/SegmentCopy.h"
#include "platform/audio/TAudioFile2.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"

namespace quillet {

void JoinCommand::Run() {
    if (!MayStart()) return;

    QString startFolder =
        ReadString(host_.Settings(), keys::CombineOutputDirectory, DefaultMusicFolder());
    if (startFolder.isEmpty()) startFolder = DefaultMusicFolder();
    CreateFolder(startFolder);
    host_.Run().OutputDir = startFolder;
    const std::optional<JoinTarget> target = host_.ChooseJoinTarget(startFolder);
    if (!target) return;
    WriteString(host_.Settings(), keys::CombineOutputDirectory, JoinStoredFolder(target->path));

    OverallProgress progress(GrandTotal());
    const ConvertingScope converting(host_.Run());
    host_.SetProgress(0);
    const OutputFormatResult format =
        ConfigureOutputFormat(target->formatIndex, ConvertCommand::Join, host_.Settings(),
                              host_.Writer(), host_.Mp3Encoder());
    if (!format.ok) {
        host_.ShowInformation(format.message);
        return;
    }
    const QString outputPath = JoinOutputPath(target->path, format.extension);
    // Checked before the output exists, so a missing file never leaves half a join behind.
    const int missing = FirstMissingInput();
    if (missing >= 0) {
        host_.ShowInformation(
            host_.Row(missing).filePath +
            QStringLiteral(" has been removed. Remove it from the list to join the others."));
        return;
    }
    if (RowWithInput(outputPath) >= 0) {
        host_.ShowInformation(
            outputPath +
            QStringLiteral(" is one of the files being joined. Choose another file name."));
        return;
    }
    if (StatFile(outputPath).Exists()) {
        if (!host_.ConfirmOverwrite()) return;
        MakeWritable(outputPath);
    }

    ConvertingControls controls(host_);
    if (format.keeps && JoinKeepingAudio(host_, *format.keeps, outputPath, reencoded_)) {
        host_.SetProgress(0);
        return;
    }
    CloseWriter();
    host_.Writer().CreateForWrite(outputPath, 0);
    JoinRows(progress);
    CloseWriter();
    host_.SetProgress(0);
}

int JoinCommand::FirstMissingInput() const {
    const int rows = host_.RowCount();
    for (int row = 0; row < rows; ++row) {
        const FileStatus info = StatFile(host_.Row(row).filePath);
        if (!info.Exists() || info.IsFolder()) return row;
    }
    return -1;
}

int64_t JoinCommand::GrandTotal() const {
    int64_t total = 0;
    const int rows = host_.RowCount();
    for (int row = 0; row < rows; ++row) {
        const ConversionRow segment = host_.Row(row);
        total += segment.endPos - segment.startPos;
    }
    return total;
}

void JoinCommand::JoinRows(OverallProgress& progress) {
    const int rows = host_.RowCount();
    for (int row = 0; row < rows; ++row) {
        if (!IsConverting()) return;
        host_.PumpMessages();
        JoinRow(row, progress);
    }
}

void JoinCommand::JoinRow(int row, OverallProgress& progress) {
    CloseReader();
    host_.SetRowStatus(row, QStringLiteral("Converting"));
    TAudioFile2& reader = host_.Reader();
    TAudioFile2& writer = host_.Writer();
    const int64_t total = OpenSegment(host_.Row(row));
    writer.SetSourceFormat(reader.SampleRate(), reader.Channels());
    // Join reads four times as much per block as Cut.
    CopySegment(reader, writer, total, reader.SampleRate() * reader.Channels() * 4,
                WriteSlice(reader), progress,
                {[this] { host_.PumpMessages(); }, [this] { return IsConverting(); },
                 [this](int percent) { host_.SetProgress(percent); }});
    CloseReader();
    host_.SetRowStatus(row, FinishedStatus(reencoded_));
}

}  // namespace quillet
