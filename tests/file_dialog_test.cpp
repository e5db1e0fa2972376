// Add File's dialog as the real prompts show it: Qt's own file dialog, whose filters read
// "MP3 Files(*.mp3)" and still offer SONG.MP3 and Song.Mp3.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "dialogs/UserPrompts.h"

namespace quillet {
namespace {

const QString kAddFileFilter = QStringLiteral(
    "All Supported Files(*.mp3 *.wav *.wma *.ogg);;MP3 Files(*.mp3);;WAV Files(*.wav);;"
    "WMA Files(*.wma);;OGG Files(*.ogg)");

class OpenFilesDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const char* name : {"SONG.MP3", "Song.Mp3", "song.mp3", "Take.WAV", "voice.wma",
                                 "Loop.Ogg", "notes.txt", "song.mp3.txt"}) {
            QFile f(dir_.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(QDir(dir_.path()).mkdir("Album"));
    }

    // Runs OpenFiles; `inside` acts in the dialog once it lists the folder, and answers it.
    QStringList Open(const QString& filter, std::function<void(QFileDialog&)> inside) {
        QtUserPrompts prompts(nullptr);
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                ADD_FAILURE() << "no file dialog";
                return;
            }
            ran = true;
            inside(*dialog);
            if (dialog->isVisible()) dialog->reject();
        });
        const QStringList chosen = prompts.OpenFiles(dir_.path(), filter);
        EXPECT_TRUE(ran);
        return chosen;
    }

    // The names the dialog lists, sorted and joined, once its model has read the folder.
    static std::string Listed(QFileDialog& dialog) {
        auto* view = dialog.findChild<QListView*>("listView");
        if (!view) return {};
        QStringList names;
        for (int i = 0; i < 200; ++i) {
            QTest::qWait(20);
            const QModelIndex root = view->rootIndex();
            names.clear();
            for (int row = 0; row < view->model()->rowCount(root); ++row)
                names << view->model()->index(row, 0, root).data().toString();
            if (names.contains("Album") && names.size() > 1) break;
        }
        return Sorted(names);
    }
    static std::string Sorted(QStringList names) {
        names.sort();
        return names.join(" | ").toStdString();
    }

    QTemporaryDir dir_;
};

TEST_F(OpenFilesDialog, ShowsTheFilterAsWrittenAndOffersEveryCaseOfTheExtension) {
    std::string listed;
    QString shownFilter;
    bool native = true;
    const QStringList chosen = Open("MP3 Files(*.mp3)", [&](QFileDialog& dialog) {
        native = !dialog.testOption(QFileDialog::DontUseNativeDialog);
        listed = Listed(dialog);
        if (auto* types = dialog.findChild<QComboBox*>("fileTypeCombo"))
            shownFilter = types->currentText();
        auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("\"SONG.MP3\" \"Song.Mp3\"");
        QTest::keyClick(name, Qt::Key_Return);
    });
    EXPECT_FALSE(native);
    EXPECT_EQ(shownFilter, "MP3 Files(*.mp3)");
    EXPECT_EQ(listed, Sorted({"Album", "SONG.MP3", "Song.Mp3", "song.mp3"}));
    EXPECT_EQ(Sorted(chosen), Sorted({dir_.filePath("SONG.MP3"), dir_.filePath("Song.Mp3")}));
}

TEST_F(OpenFilesDialog, AllSupportedFilesComesFirstAndLeavesOtherFilesOut) {
    std::string listed;
    QStringList filters;
    const QStringList chosen = Open(kAddFileFilter, [&](QFileDialog& dialog) {
        filters = dialog.nameFilters();
        EXPECT_EQ(dialog.selectedNameFilter(), "All Supported Files(*.mp3 *.wav *.wma *.ogg)");
        listed = Listed(dialog);
        dialog.reject();
    });
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(filters, kAddFileFilter.split(";;"));
    EXPECT_EQ(listed, Sorted({"Album", "SONG.MP3", "Song.Mp3", "song.mp3", "Take.WAV", "voice.wma",
                              "Loop.Ogg"}));
}

}  // namespace
}  // namespace quillet
