#pragma once

#include "convert/ConversionCommand.h"

namespace quillet {

// Cut: every row's segment into a file of its own, named after the row, in the Cut folder.
class CutCommand : private ConversionCommand {
  public:
    explicit CutCommand(ConversionHost& host) : ConversionCommand(host) {}
    void Run();

  private:
    void CutRows(const QString& outputDir, const QString& extension);
    void CutRow(int row, const QString& outputDir, const QString& extension);
};

}  // namespace quillet
