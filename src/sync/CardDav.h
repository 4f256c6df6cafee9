#pragma once

// A CardDAV address book on a server (RFC 6352): found from the server's
// address (RFC 6764), listed, its changes since a token (RFC 6578), its
// cards fetched in batches, written only where they are as we last saw
// them (RFC 4918's If-Match and If-None-Match), deleted likewise.
// Requests go through the Http seam.

#include "platform/Http.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace pb::sync {

struct CardRef {
    QString href;          // as the server names it
    QByteArray etag;
};

struct RemoteCard {
    QString href;
    QByteArray etag;
    QByteArray data;
};

struct AddressBookInfo {
    QUrl url;
    QString name;          // its display name, else the last part of its path
    bool readOnly = false; // the server lets this user read it only
};

class CardDav
{
public:
    CardDav(Http& http, const QUrl& addressBook);

    // The address books the account's server holds, from the server's
    // address: its /.well-known/carddav, the user's principal and its
    // address-book home. An address that is itself an address book is the
    // one found. Empty, with the reason in `error`, when there is none.
    static QList<AddressBookInfo> discover(Http& http, const QUrl& server, QString* error);

    // Every card's href and ETag, and the collection's sync-token (empty
    // when it has none).
    bool list(QList<CardRef>* cards, QString* token);
    // What changed since `token`: cards added or changed, hrefs deleted,
    // the new token. False when the server cannot say (no support, a token
    // it no longer knows, an error): then list() everything.
    bool changesSince(const QString& token, QList<CardRef>* changed, QStringList* deleted, QString* newToken);
    // The cards of the hrefs, a batch at a time (addressbook-multiget),
    // those a server leaves out of its answer fetched one by one.
    bool fetch(const QStringList& hrefs, QList<RemoteCard>* cards);
    // Told after each batch of a fetch: how many of the cards asked for
    // have been read.
    std::function<void(int done, int total)> fetchProgress;

    enum class Written { Done, Changed, Refused, Full, Failed };
    // A card written to `href`: over the version `ifMatch` names, or, with
    // `ifMatch` empty, only where there is none yet. Changed: the server's
    // card is not the one named (412). Refused: read-only (403). Full: no
    // room (507). `etag` receives the new ETag when the server says it;
    // `location` where the server put the card when it says so.
    Written put(const QString& href, const QByteArray& card, const QByteArray& ifMatch, QByteArray* etag, QString* location);
    // The card deleted, only as it was (`etag`); a card already gone is
    // deleted too.
    Written remove(const QString& href, const QByteArray& etag);

    // Why the last call failed, in words a report can show.
    QString error() const { return error_; }
    int lastStatus() const { return status_; }

    // How long to wait before a read is tried again (tests wait not at all).
    std::function<void(int ms)> wait;
    int batch = 100;   // cards a multiget asks for at once

private:
    HttpReply send(const QByteArray& method, const QUrl& url, const QByteArray& body, const HttpHeaders& headers, bool retry);
    QUrl urlOf(const QString& href) const { return book_.resolved(QUrl(href)); }
    bool fail(const HttpReply& r, const QString& what);
    Written writeFailed(const HttpReply& r, const QString& what);

    Http& http_;
    QUrl book_;
    QString error_;
    int status_ = 0;
};

} // namespace pb::sync
