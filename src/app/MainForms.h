#pragma once

#include <QString>
#include <memory>

namespace quillet {

class Tfm_about;
class Tfm_dir;
class Tfm_main;
class Tfm_set;

// The main window and its three dialogs, which it owns as a parent.
struct MainForms {
    std::unique_ptr<Tfm_main> fm_main;
    Tfm_set* fm_set = nullptr;
    Tfm_about* fm_about = nullptr;
    Tfm_dir* fm_dir = nullptr;
};

// Start-up up to the message loop: the application's title, then the main window, then the
// settings dialog, the about box and the folder chooser, hidden.
MainForms CreateMainForms();

}  // namespace quillet
