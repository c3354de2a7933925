// Builds without windows: the dialog has no window to show, so the form is
// hidden at once and the trap goes on as after Continue with nothing typed.
#include "clearway/snare/frm_snare.h"

namespace nox {

void BindSnareWindow(frmSNARE&) {}

}  // namespace nox
