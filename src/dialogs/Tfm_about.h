#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPushButton;

namespace quillet {

// The about box. Created hidden at start-up and reused for every showing. It opens no address
// itself: it asks whoever listens to OpenUrlRequested (the main window, which hands it to the
// desktop), so that nothing outside the program starts in a test.
class Tfm_about : public QDialog {
    Q_OBJECT
  public:
    explicit Tfm_about(QWidget* parent = nullptr);

    // The maker's web site and the support mail, shared with the main window's Help menu.
    static QUrl WebSiteUrl();
    static QUrl SupportMailUrl();

    QLabel* img_banner;
    QLabel* lbl_version;
    QLabel* lbl_description;
    QPushButton* Button1;
    QPushButton* btn_contact;
    QPushButton* btn_close;

    void Button1Click();
    void btn_contactClick();
    void btn_closeClick();

  signals:
    void OpenUrlRequested(const QUrl& url);
};

}  // namespace quillet
