#pragma once

// What the book and its address book were when last in step, kept beside
// the book ("DravikBase.z8B-sync", readable by the user alone): for each
// linked contact the card's href, ETag and the card as it came, and the
// record the book held for it. Each state is stamped with the bytes of the
// book it belongs to: a state written for a change the journal then undid
// is never taken for the book's.

#include "records/ContactRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace pb::sync {

struct Link {
    QString href;
    QByteArray etag;
    QByteArray card;          // as the server last sent it (or as we wrote it)
    ContactRecord record;     // the book's record then
    bool operator==(const Link& o) const
    {
        return href == o.href && etag == o.etag && card == o.card && record.bytes == o.record.bytes;
    }
};

struct SyncState {
    QString addressBook;      // the address book's URL: another one means a first sync
    QString token;            // its sync-token then (empty: list everything)
    QList<Link> links;
    QByteArray bookStamp;     // the hash of the book's bytes the state belongs to
    QString lastSync;         // when, and what happened, for the status line
    // When a sync last found nothing to do (the file's time; not written
    // in it): later than lastSync when it did.
    QDateTime checked;
};

// The file beside the book, and the one a sync writes before its change
// of the book (taken up only when the book's bytes match its stamp).
QString statePath(const QString& bookPath);
QString pendingStatePath(const QString& bookPath);

QByteArray bookStamp(const QByteArray& bookBytes);

// The state of the book whose bytes are `book`: a pending state whose
// stamp matches them is taken up (the sync's change reached the book)
// and one that does not is dropped (it did not). No file: an empty state.
// False, with the reason, when the file cannot be read or is no state.
// Files are changed only with `mayWrite` (under the book's lock); without,
// a pending state that matches is read as the state, and left.
bool loadState(const QString& bookPath, const QByteArray& book, SyncState* state, QString* error, bool mayWrite = true);
bool writeState(const QString& path, const SyncState& state, QString* error);
// A sync that found nothing to do leaves the state as it is and says when
// on the file's time.
bool markChecked(const QString& bookPath, QString* error);
// "Last sync: 2026-12-09 14:02 3 in, 1 out; 40 contacts linked." (with
// the last sync that found nothing to do, when later); empty: none yet.
QString describeLastSync(const SyncState& state);

// The pending state made the state, by the sync that wrote it, once its
// change is in the book (under the book's lock).
bool takeUpPending(const QString& bookPath, QString* error);

} // namespace pb::sync
