#pragma once

#include <QDialog>

namespace quillet {

// The settings dialog: the encoder settings of the four output formats. Created hidden at start-up
// and reused for every showing.
class Tfm_set : public QDialog {
    Q_OBJECT
  public:
    explicit Tfm_set(QWidget* parent = nullptr);
};

}  // namespace quillet
