#include "dialogs/Tfm_dir.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <functional>

#include "settings/SettingsFile.h"

using quillet::SettingsFile;
using quillet::Tfm_dir;

namespace {

class TfmDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        folder_ = tmp_.path() + "/chosen folder é";
        ASSERT_TRUE(QDir().mkpath(folder_));
        settings_ = std::make_unique<SettingsFile>(tmp_.path() + "/quillet.ini");
        dlg_.SetSettingsFile(settings_.get());
    }

    // Shows the dialog modally, as the main window does, and lets act answer it once it is up.
    int Run(const std::function<void()>& act) {
        bool acted = false;
        QTimer::singleShot(0, &dlg_, [&] {
            acted = true;
            act();
        });
        const int result = dlg_.exec();
        EXPECT_TRUE(acted);
        return result;
    }

    QTemporaryDir tmp_;
    QString folder_;
    std::unique_ptr<SettingsFile> settings_;
    Tfm_dir dlg_;
};

}  // namespace

TEST_F(TfmDirTest, FormLooksAsTheCallersExpect) {
    EXPECT_EQ(dlg_.size(), QSize(302, 274));
    EXPECT_EQ(dlg_.btn_ok->text(), "OK");
    EXPECT_EQ(dlg_.btn_cancel->text(), "Cancel");
    EXPECT_EQ(dlg_.cbx_sub->text(), "Include Sub-folders");
    EXPECT_TRUE(dlg_.cbx_sub->isHidden());
    // The tree lists folders only.
    auto* model = qobject_cast<QFileSystemModel*>(dlg_.stview_selectdir->model());
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(model->filter() & QDir::Files);
    QFile file(tmp_.path() + "/plain.mp3");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(dlg_.SelectFolder(tmp_.path() + "/plain.mp3"));
    EXPECT_TRUE(dlg_.SelectFolder("/"));
    EXPECT_EQ(dlg_.SelectedFolder(), "/");
}

TEST_F(TfmDirTest, OkGivesTheSelectedFolderAndStoresTheBox) {
    dlg_.cbx_sub->show();
    const int result = Run([&] {
        EXPECT_TRUE(dlg_.cbx_sub->isChecked());  // first run: ticked
        ASSERT_TRUE(dlg_.SelectFolder(folder_));
        dlg_.cbx_sub->setChecked(false);
        dlg_.btn_ok->click();
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dlg_.ChosenFolder, folder_);
    EXPECT_FALSE(dlg_.IncludeSubFolders);
    EXPECT_FALSE(settings_->ReadBool("basic", "enable sub dir", true));
    EXPECT_TRUE(dlg_.cbx_sub->isHidden());

    // The next showing starts from the stored answer.
    dlg_.cbx_sub->show();
    Run([&] {
        EXPECT_FALSE(dlg_.cbx_sub->isChecked());
        EXPECT_TRUE(dlg_.ChosenFolder.isEmpty());
        dlg_.btn_cancel->click();
    });
}

TEST_F(TfmDirTest, CancelEscapeAndCloseGiveNothing) {
    const std::vector<std::function<void()>> ways = {
        [&] { dlg_.btn_cancel->click(); },
        [&] { dlg_.reject(); },
        [&] { dlg_.close(); },
    };
    for (const auto& way : ways) {
        dlg_.cbx_sub->show();
        Run([&] {
            ASSERT_TRUE(dlg_.SelectFolder(folder_));
            way();
        });
        EXPECT_TRUE(dlg_.ChosenFolder.isEmpty());
        EXPECT_TRUE(dlg_.cbx_sub->isHidden());
    }
    EXPECT_EQ(settings_->ReadString("basic", "enable sub dir", "unset"), "unset");
}

TEST_F(TfmDirTest, HiddenBoxKeepsTheStoredValueOnOk) {
    settings_->WriteBool("basic", "enable sub dir", false);
    Run([&] {
        EXPECT_TRUE(dlg_.cbx_sub->isHidden());
        ASSERT_TRUE(dlg_.SelectFolder(folder_));
        dlg_.btn_ok->click();
    });
    EXPECT_EQ(dlg_.ChosenFolder, folder_);
    EXPECT_FALSE(settings_->ReadBool("basic", "enable sub dir", true));
}

TEST_F(TfmDirTest, NoSelectionGivesAnEmptyFolder) {
    // A folder chosen before, so that an OK which left the result alone would show.
    Run([&] {
        ASSERT_TRUE(dlg_.SelectFolder(folder_));
        dlg_.btn_ok->click();
    });
    ASSERT_EQ(dlg_.ChosenFolder, folder_);
    dlg_.cbx_sub->show();
    const int result = Run([&] {
        dlg_.stview_selectdir->clearSelection();
        dlg_.stview_selectdir->setCurrentIndex(QModelIndex());
        dlg_.cbx_sub->setChecked(false);
        dlg_.btn_ok->click();
    });
    // OK ran: the dialog was accepted and the box's state stored, with no folder to give.
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(settings_->ReadString("basic", "enable sub dir", "unset"), "0");
    EXPECT_TRUE(dlg_.ChosenFolder.isEmpty());
    EXPECT_FALSE(dlg_.IncludeSubFolders);
}
