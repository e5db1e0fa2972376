#include "dialogs/Tfm_dir.h"

#include <QCheckBox>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QTreeView>

#include "common/Guard.h"
#include "dialogs/FormFont.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"

namespace quillet {

Tfm_dir::Tfm_dir(QWidget* parent)
    : QDialog(parent),
      lbl_action(new QLabel(QStringLiteral("Please select the folder you want to scan"), this)),
      stview_selectdir(new QTreeView(this)),
      cbx_sub(new QCheckBox(QStringLiteral("Include Sub-folders"), this)),
      btn_ok(new QPushButton(QStringLiteral("OK"), this)),
      btn_cancel(new QPushButton(QStringLiteral("Cancel"), this)),
      model_(new QFileSystemModel(this)) {
    setObjectName(QStringLiteral("fm_dir"));
    setWindowTitle(QStringLiteral("Output Directory"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    SetUpFixedForm(*this, 302, 274);

    lbl_action->setObjectName(QStringLiteral("lbl_action"));
    lbl_action->setGeometry(8, 8, 286, 16);

    // Folders only, hidden ones left out as a file manager shows them; "/" is the top node.
    model_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    model_->setReadOnly(true);
    model_->setRootPath(QDir::rootPath());

    stview_selectdir->setObjectName(QStringLiteral("stview_selectdir"));
    stview_selectdir->setGeometry(8, 28, 286, 190);
    stview_selectdir->setModel(model_);
    stview_selectdir->setHeaderHidden(true);
    for (int column = 1; column < model_->columnCount(); ++column) {
        stview_selectdir->hideColumn(column);
    }
    stview_selectdir->setRootIsDecorated(true);
    stview_selectdir->setUniformRowHeights(true);
    stview_selectdir->setSelectionMode(QAbstractItemView::SingleSelection);
    stview_selectdir->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stview_selectdir->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    stview_selectdir->header()->setStretchLastSection(false);
    SelectFolder(QDir::homePath());

    cbx_sub->setObjectName(QStringLiteral("cbx_sub"));
    cbx_sub->setGeometry(8, 224, 180, 20);
    cbx_sub->setChecked(true);
    cbx_sub->hide();

    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setGeometry(138, 244, 75, 23);
    btn_ok->setDefault(true);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    btn_cancel->setGeometry(219, 244, 75, 23);
    connect(btn_ok, &QPushButton::clicked, this, Guarded([this] { btn_okClick(); }));
    connect(btn_cancel, &QPushButton::clicked, this, &Tfm_dir::btn_cancelClick);
}

void Tfm_dir::SetMode(Mode mode) {
    lbl_action->clear();
    if (mode == Mode::AddFolder) {
        lbl_action->setText(QStringLiteral("Please select the folder you want to add."));
        setWindowTitle(QStringLiteral("Open Folder"));
        cbx_sub->show();
    } else {
        setWindowTitle(QStringLiteral("Output Directory"));
        lbl_action->setText(
            QStringLiteral("Please select the folder you want to save your files."));
        cbx_sub->hide();
    }
}

bool Tfm_dir::SelectFolder(const QString& path) {
    const QModelIndex index = model_->index(QDir::cleanPath(path));
    if (!index.isValid() || !model_->isDir(index)) return false;
    stview_selectdir->setCurrentIndex(index);
    stview_selectdir->scrollTo(index);
    return true;
}

QString Tfm_dir::SelectedFolder() const {
    const QModelIndexList selected = stview_selectdir->selectionModel()->selectedIndexes();
    if (selected.isEmpty()) return {};
    return model_->filePath(selected.front());
}

void Tfm_dir::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void Tfm_dir::FormShow() {
    ChosenFolder.clear();
    if (settings_) cbx_sub->setChecked(ReadBool(*settings_, keys::EnableSubDir));
}

void Tfm_dir::btn_okClick() {
    ChosenFolder = SelectedFolder();
    IncludeSubFolders = cbx_sub->isChecked();
    if (settings_) WriteBool(*settings_, keys::EnableSubDir, IncludeSubFolders);
    accept();
}

void Tfm_dir::btn_cancelClick() {
    ChosenFolder.clear();
    reject();
}

// Every way of closing (OK, Cancel, Escape, the window's close button) ends here.
void Tfm_dir::done(int result) {
    FormClose();
    QDialog::done(result);
}

void Tfm_dir::FormClose() { cbx_sub->hide(); }

}  // namespace quillet
