// Track list commands: adding files and folders, removing, clearing, moving and renaming rows,
// loading a row into the editor, and choosing the output folder.
#include "app/Tfm_main.h"

namespace quillet {

void Tfm_main::AddFiles() {}

void Tfm_main::RemoveSelected() {}

void Tfm_main::Clear1Click() {}

void Tfm_main::MoveUp() {}

void Tfm_main::MoveDown() {}

void Tfm_main::AddPath1Click() {}

void Tfm_main::ScanFolder(const QString&, bool) {}

void Tfm_main::ChooseOutputDirectory() {}

void Tfm_main::lvClick() {}

void Tfm_main::lvDblClick() {}

void Tfm_main::lvMouseDown() {}

void Tfm_main::edt_titleExit() {}

void Tfm_main::edt_titleKeyDown(int) {}

}  // namespace quillet
