#include "support/FakeCardDav.h"

#include <QRegularExpression>

namespace pb::test {

namespace {

QByteArray response(const QString& href, const QByteArray& props, int status = 200)
{
    if (status != 200)
        return "<d:response><d:href>" + href.toUtf8() + "</d:href><d:status>HTTP/1.1 " + QByteArray::number(status) +
               " Not Found</d:status></d:response>";
    return "<d:response><d:href>" + href.toUtf8() + "</d:href><d:propstat><d:prop>" + props +
           "</d:prop><d:status>HTTP/1.1 200 OK</d:status></d:propstat></d:response>";
}

HttpReply multistatus(const QByteArray& inner)
{
    return {207, {{"Content-Type", "application/xml"}},
            "<?xml version=\"1.0\"?><d:multistatus xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">" + inner +
                "</d:multistatus>",
            {}};
}

QByteArray escaped(const QByteArray& data)
{
    return QString::fromUtf8(data).toHtmlEscaped().toUtf8();
}

} // namespace

void FakeCardDav::putCard(const QString& href, const QByteArray& data)
{
    cards[href] = {nextEtag(), data};
    changedAt_[href] = ++version_;
    deletedAt_.remove(href);
}

void FakeCardDav::deleteCard(const QString& href)
{
    cards.remove(href);
    changedAt_.remove(href);
    deletedAt_[href] = ++version_;
}

QString FakeCardDav::hrefOf(const QString& path) const
{
    return absoluteHrefs ? QStringLiteral("http://127.0.0.1") + path : path;
}

HttpReply FakeCardDav::send(const HttpRequest& request)
{
    log << QString::fromLatin1(request.method) + u' ' + request.url.path();
    if (before) {
        const HttpReply scripted = before(request);
        if (scripted.status != 0 || !scripted.error.isEmpty())
            return scripted;
    }
    const bool read = request.method == "PROPFIND" || request.method == "REPORT" || request.method == "GET";
    if (read && failReads > 0) {
        --failReads;
        return {503, {{"Retry-After", "1"}}, {}, {}};
    }
    if (request.method == "PROPFIND")
        return propfind(request);
    if (request.method == "REPORT")
        return report(request);
    if (request.method == "PUT")
        return put(request);
    if (request.method == "DELETE")
        return remove(request);
    if (request.method == "GET") {
        const auto it = cards.constFind(request.url.path());
        if (it == cards.cend())
            return {404, {}, {}, {}};
        return {200, {{"ETag", it->etag}}, it->data, {}};
    }
    return {405, {}, {}, {}};
}

HttpReply FakeCardDav::propfind(const HttpRequest& r)
{
    if (r.url.path() != book_)
        return {404, {}, {}, {}};
    QByteArray inner = response(hrefOf(book_), "<d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>"
                                               "<d:sync-token>tok-" + QByteArray::number(version_) + "</d:sync-token>");
    for (auto it = cards.cbegin(); it != cards.cend(); ++it)
        inner += response(hrefOf(it.key()), "<d:getetag>" + escaped(it->etag) + "</d:getetag><d:resourcetype/>");
    return multistatus(inner);
}

HttpReply FakeCardDav::report(const HttpRequest& r)
{
    if (r.body.contains("sync-collection")) {
        static const QRegularExpression token(QStringLiteral("<d:sync-token>tok-(\\d+)</d:sync-token>"));
        const QRegularExpressionMatch m = token.match(QString::fromUtf8(r.body));
        if (!m.hasMatch() || m.captured(1).toInt() > version_)
            return {403, {}, "<d:error xmlns:d=\"DAV:\"><d:valid-sync-token/></d:error>", {}};
        const int since = m.captured(1).toInt();
        QByteArray inner;
        for (auto it = changedAt_.cbegin(); it != changedAt_.cend(); ++it)
            if (it.value() > since && cards.contains(it.key()))
                inner += response(hrefOf(it.key()), "<d:getetag>" + escaped(cards[it.key()].etag) + "</d:getetag>");
        for (auto it = deletedAt_.cbegin(); it != deletedAt_.cend(); ++it)
            if (it.value() > since)
                inner += response(hrefOf(it.key()), {}, 404);
        return multistatus(inner + "<d:sync-token>tok-" + QByteArray::number(version_) + "</d:sync-token>");
    }
    static const QRegularExpression href(QStringLiteral("<d:href>([^<]*)</d:href>"));
    QByteArray inner;
    for (const QRegularExpressionMatch& m : href.globalMatch(QString::fromUtf8(r.body))) {
        const QString path = QUrl(m.captured(1)).path();
        const auto it = cards.constFind(path);
        if (it == cards.cend())
            inner += response(hrefOf(path), {}, 404);
        else
            inner += response(hrefOf(path), "<d:getetag>" + escaped(it->etag) + "</d:getetag>" +
                                                (bodiesInMultiget ? "<c:address-data>" + escaped(it->data) + "</c:address-data>" : QByteArray()));
    }
    return multistatus(inner);
}

HttpReply FakeCardDav::put(const HttpRequest& r)
{
    const QString path = r.url.path();
    const auto it = cards.constFind(path);
    QByteArray ifMatch, ifNoneMatch;
    for (const auto& [k, v] : r.headers) {
        if (k == "If-Match")
            ifMatch = v;
        if (k == "If-None-Match")
            ifNoneMatch = v;
    }
    if ((ifNoneMatch == "*" && it != cards.cend()) || (!ifMatch.isEmpty() && (it == cards.cend() || it->etag != ifMatch)))
        return {412, {}, {}, {}};
    const bool created = it == cards.cend();
    putCard(path, r.body);
    return {created ? 201 : 204, {{"ETag", cards[path].etag}}, {}, {}};
}

HttpReply FakeCardDav::remove(const HttpRequest& r)
{
    const QString path = r.url.path();
    const auto it = cards.constFind(path);
    if (it == cards.cend())
        return {404, {}, {}, {}};
    for (const auto& [k, v] : r.headers)
        if (k == "If-Match" && v != it->etag)
            return {412, {}, {}, {}};
    deleteCard(path);
    return {204, {}, {}, {}};
}

} // namespace pb::test
