// The main window's dialling commands and its e-mail panel.
#include "records/Data.h"

namespace pb {

void Data::buildMailPanel() {}
void Data::mnuDialer_Click() {}
void Data::mnuPhoneDialer_Click() {}
void Data::mnuMailTo_Click() {}
void Data::mnuInfoAbout_Click() {}
void Data::mnuSendAllRecords_Click() {}

} // namespace pb
