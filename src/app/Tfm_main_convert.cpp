// Cut, Join and the stop command that ends either of them.
#include "app/Tfm_main.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"
#include "widgets/WindowConversionHost.h"

namespace quillet {

WindowConversionHost Tfm_main::MakeConversionHost() {
    return WindowConversionHost(
        run_, *tracks_, *playback_, *settings_,
        {AudioFileRead, AudioFileWrite, AudioFile2LameEnc, AudioInformation},
        {*cb_format, *pb, skin_, Prompts(), joinSave_,
         [this](bool enabled) { SetConversionMenus(enabled); }});
}

// Both commands need the settings file, which exists from the first show to the close.
void Tfm_main::Cut1Click() {
    if (Closed()) return;
    WindowConversionHost host = MakeConversionHost();
    CutCommand(host).Run();
}

void Tfm_main::Join2Click() {
    if (Closed()) return;
    WindowConversionHost host = MakeConversionHost();
    JoinCommand(host).Run();
}

// The running Cut or Join sees the flag at its next check and stops there.
void Tfm_main::Stop1Click() { run_.IsConverting = false; }

}  // namespace quillet
