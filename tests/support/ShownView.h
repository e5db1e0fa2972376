#pragma once

#include <QString>
#include <QStringList>
#include <map>

#include "editor/EditorView.h"

namespace quillet::test {

// The window's side for the core's editor tests: what each display shows now.
class ShownView : public EditorView {
  public:
    int SelectedRow() const override { return selected; }
    void SelectRow(int row) override { selected = row; }
    void SetBar(Bar bar, int position, bool) override { bars[bar] = position; }
    void ShowBar(Bar bar, bool visible) override { barVisible[bar] = visible; }
    void SetText(Text text, const QString& value) override { texts[text] = value; }
    void ShowPlayingMenus(bool on) override { playingMenus = on; }
    void ShowPauseMenus(bool on) override { pauseMenus = on; }
    void Information(const QString& text) override { informations << text; }
    void ArmRestoreTimer() override {}

    int selected = -1;
    std::map<Bar, int> bars;
    std::map<Bar, bool> barVisible;
    std::map<Text, QString> texts;
    bool playingMenus = false;
    bool pauseMenus = true;
    QStringList informations;
};

}  // namespace quillet::test
