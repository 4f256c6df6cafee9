// The main window's printing and export commands.
#include "records/Data.h"

namespace pb {

void Data::mnuPrint_Click() {}

void Data::unloadPrintWindows() {}

} // namespace pb
