// The main window's appearance commands, help and the About box.
#include "records/Data.h"

namespace pb {

void Data::mnuDefault_Click() {}
void Data::mnuOther_Click() {}
void Data::mnuBackColors_Click() {}
void Data::mnuBackPic_Click() {}
void Data::mnuContents_Click() {}
void Data::mnuAbout_Click() {}

} // namespace pb
