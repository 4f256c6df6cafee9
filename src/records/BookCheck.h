#pragma once

// The book file checked as a whole: what the program counts and shows, the
// free slots inside it and the records behind them, fields without their
// end, bytes the code page does not define.

#include "records/ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace pb {

class Phonebook;

// What a check of the book's bytes finds.
struct BookCheck {
    qint64 strayBytes = 0;        // a last record cut short (the length is no multiple of 440)
    int count = 0;                // records before the first free slot: what the program shows
    QList<int> freeSlots;         // free slots with records after them
    QList<int> uncounted;         // records after a free slot, never counted nor shown
    QList<QPair<int, Field>> noEnd;      // fields filled to their width (the program writes them so too): a note, no fault
    QList<QPair<int, Field>> undefined;  // fields holding bytes the code page does not define
    qint64 pastLast = 0;          // records (or part of one) past the last number a book can have
    bool clean() const
    {
        return strayBytes == 0 && freeSlots.isEmpty() && uncounted.isEmpty() && undefined.isEmpty() && pastLast == 0;
    }
};
BookCheck checkBook(const QByteArray& bytes);
QString describe(const BookCheck& check);

// The whole book file, in one read (up to the last record a book can have).
bool readBook(Phonebook& book, QByteArray* bytes, QString* error);
// The book's check: what readBook() gives, and the records past the last a
// book can have, which it leaves out.
BookCheck checkOpenBook(Phonebook& book, const QByteArray& bytes);

} // namespace pb
