#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "dialogs/Tfm_about.h"
#include "dialogs/Tfm_set.h"
#include "settings/SettingsFile.h"
#include "support/MainWindowFixture.h"

namespace quillet {
namespace {

TEST(AboutBoxTest, ShowsItsCaptionBannerVersionDescriptionAndButtons) {
    Tfm_about about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(314, 208));
    EXPECT_EQ(about.lbl_version->text(), "Version:    1.00");
    const QString description = about.lbl_description->text();
    for (const char* format : {"WMA", "MP3", "WAV", "OGG"})
        EXPECT_TRUE(description.contains(format)) << format;
    EXPECT_TRUE(description.contains("cuts and joins"));
    EXPECT_FALSE(description.contains('\n'));

    // The banner spans the width, 90 high; the version sits over its lower right part.
    EXPECT_EQ(about.img_banner->geometry(), QRect(0, 0, 314, 90));
    ASSERT_FALSE(about.img_banner->pixmap().isNull());
    const QRect version = about.lbl_version->geometry();
    EXPECT_TRUE(about.img_banner->geometry().contains(version));
    EXPECT_GE(version.left(), 314 / 2);
    EXPECT_GE(version.top(), 90 / 2);

    EXPECT_EQ(about.Button1->text(), "Web Site");
    EXPECT_EQ(about.btn_contact->text(), "Contact us ");
    EXPECT_EQ(about.btn_close->text(), "Close");
    EXPECT_LT(about.Button1->x(), about.btn_contact->x());
    EXPECT_LT(about.btn_contact->x(), about.btn_close->x());
    EXPECT_GT(about.Button1->y(), about.lbl_description->geometry().bottom());

    // Nothing is cut off with the desktop's font.
    about.show();
    for (QWidget* w :
         {static_cast<QWidget*>(about.lbl_version), static_cast<QWidget*>(about.Button1),
          static_cast<QWidget*>(about.btn_contact), static_cast<QWidget*>(about.btn_close)}) {
        EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
        EXPECT_TRUE(about.rect().contains(w->geometry())) << w->objectName().toStdString();
    }
    QLabel* d = about.lbl_description;
    EXPECT_LE(d->heightForWidth(d->width()), d->height());
    EXPECT_TRUE(about.rect().contains(d->geometry()));
}

TEST(AboutBoxTest, ButtonsAskForTheWebSiteAndASupportMailAndCloseCloses) {
    Tfm_about about;
    QSignalSpy asked(&about, &Tfm_about::OpenUrlRequested);
    about.Button1->click();
    about.btn_contact->click();
    ASSERT_EQ(asked.size(), 2);
    const QUrl web = asked[0][0].toUrl();
    EXPECT_TRUE(web.isValid());
    EXPECT_TRUE(web.scheme() == "https" || web.scheme() == "http");
    EXPECT_FALSE(web.host().isEmpty());
    EXPECT_EQ(web, Tfm_about::WebSiteUrl());
    const QUrl mail = asked[1][0].toUrl();
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_TRUE(mail.path().contains('@'));
    EXPECT_EQ(mail, Tfm_about::SupportMailUrl());

    bool shownWhileRunning = false;
    QTimer::singleShot(0, &about, [&] {
        shownWhileRunning = about.isVisible();
        about.btn_close->click();
    });
    about.exec();
    EXPECT_TRUE(shownWhileRunning);
    EXPECT_FALSE(about.isVisible());
}

class HelpCommandsTest : public test::MainWindowFixture {
  protected:
    void SetUp() override { QFile::remove(SettingsFile::DefaultPath()); }
    void TearDown() override {
        MainWindowFixture::TearDown();
        QFile::remove(SettingsFile::DefaultPath());
    }

    Tfm_main& Start() {
        Open();
        return W();
    }

    static QUrl HelpUrl() {
        return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/help/quillet.html");
    }
};

TEST_F(HelpCommandsTest, HelpWebSiteAndAboutAskTheDesktopForTheRightAddresses) {
    Tfm_main& window = Start();
    window.Content1->trigger();
    window.WebSite1->trigger();
    ASSERT_EQ(prompts_->urls.size(), 2);
    EXPECT_EQ(prompts_->urls[0], HelpUrl());
    EXPECT_TRUE(QFile::exists(prompts_->urls[0].toLocalFile()));
    EXPECT_EQ(prompts_->urls[1], Tfm_about::WebSiteUrl());

    // The about box's buttons go through the same desktop hand-over, and About works while
    // converting.
    window.Run().IsConverting = true;
    prompts_->modal = [&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            forms_.fm_about->Button1->click();
            forms_.fm_about->btn_contact->click();
            forms_.fm_about->btn_close->click();
        });
        return dialog.exec();
    };
    window.About1->trigger();
    ASSERT_EQ(prompts_->shown.size(), 1);
    EXPECT_EQ(prompts_->shown[0], forms_.fm_about);
    EXPECT_FALSE(forms_.fm_about->isVisible());
    ASSERT_EQ(prompts_->urls.size(), 4);
    EXPECT_EQ(prompts_->urls[2], Tfm_about::WebSiteUrl());
    EXPECT_EQ(prompts_->urls[3], Tfm_about::SupportMailUrl());
}

TEST_F(HelpCommandsTest, F1InTheSettingsDialogOpensHelpAndEscapeLeavesTheMainWindow) {
    Tfm_main& window = Start();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    prompts_->modal = [&](QDialog& dialog) {
        QTimer::singleShot(0, &dialog, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(dialog.windowHandle(), Qt::Key_F1);
            QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
            if (dialog.isVisible()) dialog.reject();
        });
        return dialog.exec();
    };
    window.Option1->trigger();
    ASSERT_EQ(prompts_->shown.size(), 1);
    EXPECT_EQ(prompts_->shown[0], forms_.fm_set);
    ASSERT_EQ(prompts_->urls.size(), 1);
    EXPECT_EQ(prompts_->urls[0], HelpUrl());
    EXPECT_TRUE(window.isVisible());
}

}  // namespace
}  // namespace quillet
