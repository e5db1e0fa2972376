#include "convert/JoinCommand.h"

#include <optional>

#include "common/FileNames.h"
#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/CopyThreads.h"
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
    CopyThreads threads(host_.Reader(), host_.Writer());
    threads.OnWriter([&](TAudioFile2& writer) {
        CloseIfOpen(writer);
        writer.CreateForWrite(outputPath, 0);
    });
    JoinRows(threads, progress);
    threads.EndReading();
    threads.OnWriter(CloseIfOpen);
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

void JoinCommand::JoinRows(CopyThreads& threads, OverallProgress& progress) {
    const int rows = host_.RowCount();
    // The rows are read one after the other, a couple of blocks ahead of the copy, so the
    // encoder does not wait for the next file to be opened.
    for (int row = 0; row < rows; ++row) {
        const ConversionRow segment = host_.Row(row);
        // Join reads four times as much per block as Cut.
        threads.Read({segment.filePath, segment.startPos, segment.endPos - segment.startPos,
                      [](const SourceFormat& f) { return f.sampleRate * f.channels * 4; }});
    }
    for (int row = 0; row < rows; ++row) {
        if (!IsConverting()) return;
        host_.PumpMessages();
        JoinRow(threads, row, progress);
    }
}

void JoinCommand::JoinRow(CopyThreads& threads, int row, OverallProgress& progress) {
    host_.SetRowStatus(row, QStringLiteral("Converting"));
    const ConversionRow segment = host_.Row(row);
    const SourceFormat source = threads.Opened();
    threads.OnWriter(
        [&](TAudioFile2& writer) { writer.SetSourceFormat(source.sampleRate, source.channels); });
    threads.Copy(segment.endPos - segment.startPos, source.sampleRate * source.channels * 4,
                 WriteSlice(source), source.bytesPerPosition, progress, Hooks());
    // The row is finished once its last block is in the output.
    threads.OnWriter([](TAudioFile2& writer) { writer.FlushWrites(); });
    host_.SetRowStatus(row, FinishedStatus(reencoded_));
}

}  // namespace quillet
