#pragma once

#include <optional>

#include "convert/ConversionCommand.h"
#include "platform/audio/StretchCopy.h"

namespace quillet {

// Cut: every row's segment into a file of its own, named after the row, in the Cut folder.
class CutCommand : private ConversionCommand {
  public:
    explicit CutCommand(ConversionHost& host) : ConversionCommand(host) {}
    void Run();

  private:
    void CutRows(const QString& outputDir, const QString& extension);
    void CutRow(int row, const QString& outputDir, const QString& extension);

    std::optional<StreamCoding> keeps_;  // inputs of this audio are copied, not re-encoded
};

}  // namespace quillet
