// The error dialog and the mailed report. Until they exist, no dialog is
// shown (the user's answer is Continue) and nothing is mailed; the trap
// already calls both where they belong.
#include "clearway/snare/snare_internal.h"

namespace nox {

int16_t pfDialog() { return Snare().dialog_result = kActionLeave; }

void pfMail() {}

}  // namespace nox
