#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "convert/ConversionCommand.h"
#include "platform/audio/StretchCopy.h"

namespace quillet {

class CopyThreads;
class TAudioInformation2;

// One segment into an output file of its own.
struct CutJob {
    QString input;
    int64_t startPos = 0;
    int64_t endPos = 0;
    QString output;
};

// What Cut does for one row once it has its names: the input opened at the segment's start,
// the output created, the segment copied in blocks of one second's samples (the reader's sample
// rate times its channels), both files closed, and the input's information saved into the
// output before it takes the output's name. quillet-engine's convert runs the same.
void CutSegment(CopyThreads& threads, TAudioInformation2& information, const CutJob& job,
                const CopyHooks& hooks);

// Cut: every row's segment into a file of its own, named after the row, in the Cut folder.
class CutCommand : private ConversionCommand {
  public:
    explicit CutCommand(ConversionHost& host) : ConversionCommand(host) {}
    void Run();

  private:
    void CutRows(const QString& outputDir, const QString& extension);
    void CutRow(CopyThreads& threads, int row, const QString& outputDir, const QString& extension);

    std::optional<StreamCoding> keeps_;  // inputs of this audio are copied, not re-encoded
};

}  // namespace quillet
