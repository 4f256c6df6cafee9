// The main window's printing and export commands.
#include "records/Data.h"

#include "print/PrintLayout.h"

namespace pb {

void Data::mnuPrint_Click() {}

void Data::unloadPrintWindows() {}

QString Data::CurrentRecordText() const
{
    ShownContact shown;
    shown.record = recordBoxText();
    for (Field f : kAllFields)
        shown.fields[static_cast<std::size_t>(f)] = boxText(f);
    return pb::CurrentRecordText(shown);
}

} // namespace pb
