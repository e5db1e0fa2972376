#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QFileSystemModel;
class QLabel;
class QPushButton;
class QTreeView;

namespace quillet {

class SettingsFile;

// The folder chooser: a folders-only tree of the file system. Used to add a folder (with
// "Include Sub-folders" shown) and to choose the output directory (with it hidden); the caller
// sets the caption and the prompt before each showing.
class Tfm_dir : public QDialog {
    Q_OBJECT
  public:
    explicit Tfm_dir(QWidget* parent = nullptr);

    // The main window's settings file, read at each showing and written on OK; nullptr once the
    // main window has released it.
    void SetSettingsFile(SettingsFile* settings) { settings_ = settings; }

    // The two ways the main window uses the chooser: its caption, its prompt (emptied, then
    // set) and whether "Include Sub-folders" shows.
    enum class Mode { AddFolder, OutputDirectory };
    void SetMode(Mode mode);

    // Selects the folder in the tree as a click would; false when it is no folder.
    bool SelectFolder(const QString& path);
    // The file-system path of the selected node, empty when none.
    QString SelectedFolder() const;

    QLabel* lbl_action;
    QTreeView* stview_selectdir;
    QCheckBox* cbx_sub;
    QPushButton* btn_ok;
    QPushButton* btn_cancel;

    QString ChosenFolder;
    bool IncludeSubFolders = true;

    void FormShow();
    void btn_okClick();
    void btn_cancelClick();
    void FormClose();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    QFileSystemModel* model_;
    SettingsFile* settings_ = nullptr;
};

}  // namespace quillet
