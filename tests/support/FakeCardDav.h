#pragma once

// A CardDAV address book in memory behind the Http seam, for the client's
// and the sync's tests: it keeps cards by href with ETags, answers
// PROPFIND, addressbook-multiget and sync-collection, honours If-Match and
// If-None-Match, and takes on the quirks of real servers when asked.

#include "platform/Http.h"

#include <QMap>
#include <QStringList>

#include <functional>

namespace pb::test {

class FakeCardDav : public Http
{
public:
    // The address book's path, as the server names it.
    explicit FakeCardDav(QString book = QStringLiteral("/user/contacts/")) : book_(std::move(book)) {}

    struct Card {
        QByteArray etag;
        QByteArray data;
    };
    QMap<QString, Card> cards;   // by href (a path)

    // Quirks.
    bool bodiesInMultiget = true;     // Xandikos-like when false for sync reports only
    bool absoluteHrefs = false;
    int failReads = 0;                // the next reads answered 503
    std::function<HttpReply(const HttpRequest&)> before;   // a scripted answer, or status 0 to go on

    // Every request, in order ("PUT /user/contacts/x.vcf").
    QStringList log;

    // As another client (the user's phone) would change the address book.
    void putCard(const QString& href, const QByteArray& data);
    void deleteCard(const QString& href);
    HttpReply send(const HttpRequest& request) override;

private:
    QString hrefOf(const QString& path) const;
    HttpReply propfind(const HttpRequest& r);
    HttpReply report(const HttpRequest& r);
    HttpReply put(const HttpRequest& r);
    HttpReply remove(const HttpRequest& r);
    QByteArray nextEtag() { return "\"e" + QByteArray::number(++etags_) + '"'; }

    QString book_;
    int etags_ = 0;
    int version_ = 0;
    QMap<QString, int> changedAt_;   // href -> version of its last change
    QMap<QString, int> deletedAt_;
};

} // namespace pb::test
