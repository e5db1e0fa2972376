#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <vector>

#include "editor/PeakCache.h"

namespace quillet {

class ISkinWave;
class PeakBuilder;
class StretchEditorHost;

// The whole file's shape behind the main window's Begin and End bars: the peaks of the row the
// host shows, computed off the window's thread (or read from the peak cache) by a builder that
// the stretch editor shares, drawn into the skin's wave objects piece by piece as they arrive,
// with the chosen stretch brighter. A file that cannot be read leaves the pictures empty; the
// editor says why.
class StretchOverview : public QObject {
    Q_OBJECT
  public:
    explicit StretchOverview(StretchEditorHost& host, QObject* parent = nullptr);

    // The skin's objects to draw into; a skin may have none.
    void Attach(std::vector<ISkinWave*> waves);
    PeakBuilder& Peaks() { return *builder_; }

  private:
    void LoadRow();
    void DrawPeaks();
    void DrawSpan();

    StretchEditorHost& host_;
    PeakBuilder* builder_;
    std::vector<ISkinWave*> waves_;
    std::optional<SourceStamp> stamp_;
};

}  // namespace quillet
