#include "records/Phonebook.h"

#include <QDir>

namespace pb {

bool Phonebook::openPhonebookFile()
{
    return phonebook_.open(QDir::current().filePath(QString::fromLatin1(kPhonebookFileName)));
}

bool Phonebook::openClipboardFile()
{
    return clipboard_.open(QDir::current().filePath(QString::fromLatin1(kClipboardFileName)));
}

Phonebook::Scan Phonebook::scanToFreeSlot(int start)
{
    for (int n = start;; ++n) {
        if (!ReadRecord(n))
            return {n, false};
        if (RecordBuffer.isFree())
            return {n, true};
    }
}

} // namespace pb
