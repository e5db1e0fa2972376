#pragma once

#include <QDialog>

namespace quillet {

// The about box. Created hidden at start-up and reused for
// every showing.
class Tfm_about : public QDialog {
    Q_OBJECT
  public:
    explicit Tfm_about(QWidget* parent = nullptr);
};

}  // namespace quillet
