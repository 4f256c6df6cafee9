#pragma once

// A server's card brought up to date with the book's record, touching only
// what the record changed: the record holds seven short fields, the card
// much more (further numbers, a photo, groups, parameters, X- properties),
// and all of that goes back to the server as it came.

#include "records/ContactRecord.h"

#include <QByteArray>
#include <QString>

namespace pb::sync {

// The record the import makes of the card (its first contact) in the
// book's code page: what the book held of it when it was last in step.
ContactRecord recordOfCard(const QByteArray& card);

// The fields of `now` that differ from what the import stores of the card.
// A field cut to its width, or holding "?" for a character the code page
// lacks, is unchanged as long as it is what the import would store.
QList<Field> changedFields(const QByteArray& card, const ContactRecord& now);

// The card with the properties behind the changed fields rewritten: N and
// FN for the names, the TEL, EMAIL and ADR the field was read from (the
// preferred one, else the first), ORG, and NOTE for the note part of
// Comments (the values the import put ahead of the note in their short
// forms stay with the properties they came from, never in NOTE). REV is
// replaced by `rev` when anything changed. Every other line goes back byte
// for byte; `changed` says whether anything did change.
QByteArray patchCard(const QByteArray& card, const ContactRecord& now, const QByteArray& rev, bool* changed);

} // namespace pb::sync
