#pragma once

#include <QString>
#include <cstdint>

#include "convert/ConversionCommand.h"

namespace quillet {

class CopyThreads;
class OverallProgress;

// Join: the segments of all rows, in list order, into one file named in the save dialog.
class JoinCommand : private ConversionCommand {
  public:
    explicit JoinCommand(ConversionHost& host) : ConversionCommand(host) {}
    void Run();

  private:
    // The first row whose input file is gone, or -1.
    int FirstMissingInput() const;
    int64_t GrandTotal() const;
    void JoinRows(CopyThreads& threads, OverallProgress& progress);
    void JoinRow(CopyThreads& threads, int row, OverallProgress& progress);

    QString reencoded_;  // why the sources' audio, kept by the settings, had to be re-encoded
};

}  // namespace quillet
