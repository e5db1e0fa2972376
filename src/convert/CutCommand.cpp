#include "convert/CutCommand.h"

#include "common/FileNames.h"
#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/CopyThreads.h"
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
    CopyThreads threads(host_.Reader(), host_.Writer());
    const int rows = host_.RowCount();
    for (int row = 0; row < rows; ++row) {
        if (!IsConverting()) return;
        host_.PumpMessages();
        host_.SetProgress(0);
        CutRow(threads, row, outputDir, extension);
    }
}

void CutCommand::CutRow(CopyThreads& threads, int row, const QString& outputDir,
                        const QString& extension) {
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

    CutSegment(threads, host_.Information(),
               {segment.filePath, segment.startPos, segment.endPos, outputPath}, Hooks());
    host_.SetProgress(100);
    host_.SetRowStatus(row, FinishedStatus(reencoded));
}

void CutSegment(CopyThreads& threads, TAudioInformation2& information, const CutJob& job,
                const CopyHooks& hooks) {
    const int64_t total = job.endPos - job.startPos;
    threads.Read({job.input, job.startPos, total,
                  [](const SourceFormat& f) { return f.sampleRate * f.channels; }});
    const SourceFormat source = threads.Opened();
    threads.OnWriter([&](TAudioFile2& writer) {
        CloseIfOpen(writer);
        writer.CreateForWrite(job.output, 0);
        writer.SetSourceFormat(source.sampleRate, source.channels);
    });

    RowProgress progress;
    threads.Copy(total, source.sampleRate * source.channels, WriteSlice(source),
                 source.bytesPerPosition, progress, hooks);
    threads.EndReading();
    threads.OnWriter([&](TAudioFile2& writer) {
        // The output stays beside its target until its tags are in; only then does it replace
        // it.
        PendingFile output = writer.ClosePending();
        information.LoadInformation(job.input);
        information.SaveInformation(output);
    });
}

}  // namespace quillet
