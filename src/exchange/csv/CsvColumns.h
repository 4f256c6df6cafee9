#pragma once

// What the columns of a CSV hold: the header row's names read for each
// field, address parts in columns of their own, the columns of no field.

#include "exchange/Contact.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>
#include <utility>
#include <vector>

namespace pb::exchange::detail {

struct CsvColumns {
    QStringList header;
    // Which columns feed which field: the first matching column is the
    // field, further ones (a second phone) become extras, as do columns of
    // no field at all; address parts are put together.
    std::array<QList<qsizetype>, kFieldCount> fields;
    QList<qsizetype> extra;
    QMap<QString, QList<std::pair<int, qsizetype>>> addressGroups;   // group -> (part, column), parts in order
    QStringList groupOrder;
    // A row whose cells are all in the first column of a field each, every
    // other column empty, can go straight into its record: these columns.
    std::array<qsizetype, kFieldCount> first;
    std::vector<qsizetype> others;

    // Reads the header row; false, with why nothing can be read in
    // `refused`, when it names no column this program knows.
    bool read(const QStringList& names, QString* refused);
};

} // namespace pb::exchange::detail
