#include "convert/CutCommand.h"

#include "common/FileNames.h"
#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/KeptAudioCut.h"
#include "convert/OutputFormatConfig.h"
#include "convert/OutputNames.h"
#include "convert/SegmentCopy.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioInformation2.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"

namespace quillet {

namespace {

bool IsExistingFile(const QString& path) {
    const FileStatus info = StatFile(path);
    return info.Exists() && !info.IsFolder();
}

}  // namespace

void CutCommand::Run() {
    if (!MayStart()) return;
    const ConvertingScope converting(host_.Run());
    const OutputFormatResult format =
        ConfigureOutputFormat(host_.FormatIndex(), ConvertCommand::Cut, host_.Settings(),
                              host_.Writer(), host_.Mp3Encoder());
    if (!format.ok) {
        host_.ShowInformation(format.message);
        return;
    }
    ConvertingControls controls(host_);
    host_.SetProgress(0);
    keeps_ = format.keeps;

    const QString stored =
        ReadString(host_.Settings(), keys::CutOutputDirectory, DefaultMusicFolder());
    const QString outputDir = CutOutputDir(stored);
    CreateFolder(outputDir);
    host_.Run().OutputDir = outputDir;

    CutRows(outputDir, format.extension);
    host_.SetProgress(0);
}

void CutCommand::CutRows(const QString& outputDir, const QString& extension) {
    const int rows = host_.RowCount();
    for (int row = 0; row < rows; ++row) {
        if (!IsConverting()) return;
        host_.PumpMessages();
        host_.SetProgress(0);
        CutRow(row, outputDir, extension);
    }
}

void CutCommand::CutRow(int row, const QString& outputDir, const QString& extension) {
    const ConversionRow segment = host_.Row(row);
    if (!IsExistingFile(segment.filePath)) {
        host_.ShowInformation(segment.filePath + QStringLiteral(" has been removed."));
        return;
    }
    const QString outputPath = outputDir + ReplaceExtension(host_.RowCaption(row), extension);
    // Replacing the file being cut would lose the rest of it, and replacing another row's input
    // would cut that row from this one's audio: never offer to.
    if (IsSameFile(outputPath, segment.filePath)) {
        host_.ShowInformation(outputPath +
                              QStringLiteral(" is the file being cut. Choose another output "
                                             "folder or rename the row."));
        return;
    }
    const int input = RowWithInput(outputPath);
    if (input >= 0) {
        host_.ShowInformation(
            QStringLiteral("%1 would be written over %2, the file of row %3 of the list. Choose "
                           "another output folder or rename the row.")
                .arg(outputPath, host_.Row(input).filePath)
                .arg(input + 1));
        return;
    }
    if (StatFile(outputPath).Exists()) {
        if (!host_.ConfirmOverwrite()) return;
        MakeWritable(outputPath);
    }
    host_.SetRowStatus(row, QStringLiteral("Converting"));
    QString reencoded;
    if (keeps_ && CutKeepingAudio(host_, segment, *keeps_, outputPath, reencoded)) {
        host_.SetProgress(100);
        host_.SetRowStatus(row, QStringLiteral("finish"));
        return;
    }

    TAudioFile2& reader = host_.Reader();
    TAudioFile2& writer = host_.Writer();
    const int64_t total = OpenSegment(segment);
    CloseWriter();
    writer.CreateForWrite(outputPath, 0);
    writer.SetSourceFormat(reader.SampleRate(), reader.Channels());

    RowProgress progress;
    CopySegment(reader, writer, total, reader.SampleRate() * reader.Channels(), WriteSlice(reader),
                progress,
                {[this] { host_.PumpMessages(); }, [this] { return IsConverting(); },
                 [this](int percent) { host_.SetProgress(percent); }});
    CloseReader();
    // The output stays beside its target until its tags are in; only then does it replace it.
    PendingFile output = writer.ClosePending();

    host_.Information().LoadInformation(segment.filePath);
    host_.Information().SaveInformation(output);
    host_.SetProgress(100);
    host_.SetRowStatus(row, FinishedStatus(reencoded));
}

}  // namespace quillet
