#pragma once

// What a card's properties mean for the book: the contact a card's
// properties make, with the values that have no field of their own in
// their short forms ("cell +1 555 0100", "birthday 1980-04-22").

#include "exchange/Contact.h"
#include "exchange/vcard/VCardLine.h"

namespace pb::exchange::detail {

// The contact of a card's properties (BEGIN, END and the card's own
// bookkeeping left out); pictures are counted in `report`.
Contact contactFrom(const QList<Property>& card, ReadReport* report);

} // namespace pb::exchange::detail
