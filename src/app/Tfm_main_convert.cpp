// Cut, Join and the stop command that ends either of them.
#include "app/Tfm_main.h"

namespace quillet {

void Tfm_main::Cut1Click() {}

void Tfm_main::Join2Click() {}

// The running Cut or Join sees the flag at its next check and stops there.
void Tfm_main::Stop1Click() { IsConverting = false; }

}  // namespace quillet
