// The main window's door to the diaries book.
#include "records/Data.h"

namespace pb {

void Data::mnuDiaries_Click() {}

void Data::unloadDiaries() {}

} // namespace pb
