#include "sync/CardDav.h"

#include "sync/Multistatus.h"

#include <QHash>
#include <QThread>

namespace pb::sync {

namespace {

const QByteArray kXml = "application/xml; charset=utf-8";

const QByteArray kListBody = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                             "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/><d:resourcetype/><d:sync-token/></d:prop></d:propfind>\n";

QByteArray syncBody(const QString& token)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<d:sync-collection xmlns:d=\"DAV:\"><d:sync-token>" +
           token.toHtmlEscaped().toUtf8() +
           "</d:sync-token><d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>\n";
}

QByteArray multigetBody(const QStringList& hrefs)
{
    QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                      "<c:addressbook-multiget xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">"
                      "<d:prop><d:getetag/><c:address-data/></d:prop>";
    for (const QString& h : hrefs)
        body += "<d:href>" + h.toHtmlEscaped().toUtf8() + "</d:href>";
    return body + "</c:addressbook-multiget>\n";
}

// The path part of an href, for comparing hrefs written absolute or relative.
QString pathOf(const QUrl& base, const QString& href)
{
    return base.resolved(QUrl(href)).path(QUrl::FullyEncoded);
}

QByteArray etagOf(const DavResponse& r)
{
    return r.props.value(propName(kDav, "getetag")).trimmed().toUtf8();
}

// An address book as a listing shows it: its name, else the last part of
// its path; read-only when the user's rights are given and none of them
// lets a card be written.
AddressBookInfo infoOf(const DavResponse& d, const QUrl& url)
{
    QString name = d.props.value(propName(kDav, "displayname")).trimmed();
    if (name.isEmpty())
        name = url.path().section(u'/', -2, -2);
    bool readOnly = !d.privileges.isEmpty();
    for (const char* right : {"all", "write", "write-content", "bind"})
        readOnly = readOnly && !d.privileges.contains(propName(kDav, right));
    return {url, name, readOnly};
}

// A card out of XML text: XML reads every line break as LF, a card's are
// CR LF.
QByteArray cardOfXmlText(const QString& text)
{
    QByteArray out = text.toUtf8();
    if (!out.contains('\n'))
        return out;
    QByteArray crlf;
    crlf.reserve(out.size() + out.size() / 16);
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r'))
            crlf += '\r';
        crlf += out[i];
    }
    return crlf;
}

// Whether an answer is worth asking again: no answer at all, or a server
// busy or failing for the moment.
bool transient(const HttpReply& r)
{
    return r.status == 0 || r.status == 429 || r.status == 502 || r.status == 503 || r.status == 504 || r.status == 500;
}

} // namespace

CardDav::CardDav(Http& http, const QUrl& addressBook)
    : wait([](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); }), http_(http), book_(addressBook)
{
    if (!book_.path().endsWith(u'/'))
        book_.setPath(book_.path() + u'/');
}

HttpReply CardDav::send(const QByteArray& method, const QUrl& url, const QByteArray& body, const HttpHeaders& headers, bool retry)
{
    HttpRequest request{method, url, headers, body};
    HttpReply r;
    // Reads are asked again up to three times, a while apart; a write
    // never is (the server may have done it).
    for (int attempt = 0;; ++attempt) {
        r = http_.send(request);
        if (!retry || attempt == 3 || !transient(r))
            break;
        bool seconds = false;
        const int after = r.header("Retry-After").toInt(&seconds);
        wait(seconds ? std::min(after, 30) * 1000 : 500 << attempt);
    }
    status_ = r.status;
    return r;
}

bool CardDav::fail(const HttpReply& r, const QString& what)
{
    status_ = r.status;
    if (r.status == 0)
        error_ = QStringLiteral("%1: the server did not answer (%2).").arg(what, r.error);
    else if (r.status == 401)
        error_ = QStringLiteral("%1: wrong user name or password.").arg(what);
    else if (r.status == 403)
        error_ = QStringLiteral("%1: the server does not allow it (the address book may be read-only).").arg(what);
    else if (r.status == 404)
        error_ = QStringLiteral("%1: the server has no address book at this address.").arg(what);
    else if (r.status == 507)
        error_ = QStringLiteral("%1: the server is full.").arg(what);
    else
        error_ = QStringLiteral("%1: the server answered %2.").arg(what).arg(r.status);
    return false;
}

bool CardDav::list(QList<CardRef>* cards, QString* token)
{
    const HttpReply r = send("PROPFIND", book_, kListBody, {{"Depth", "1"}, {"Content-Type", kXml}}, true);
    if (r.status != 207)
        return fail(r, QStringLiteral("Listing the address book"));
    const Multistatus m = parseMultistatus(r.body);
    if (!m.error.isEmpty()) {
        error_ = QStringLiteral("Listing the address book: %1.").arg(m.error);
        return false;
    }
    cards->clear();
    token->clear();
    const QString self = book_.path(QUrl::FullyEncoded);
    for (const DavResponse& d : m.responses) {
        if (pathOf(book_, d.href) == self || pathOf(book_, d.href) + u'/' == self) {
            *token = d.props.value(propName(kDav, "sync-token")).trimmed();
            continue;
        }
        if (d.status == 200 && !d.types.contains(propName(kDav, "collection")))
            cards->append({d.href, etagOf(d)});
    }
    return true;
}

bool CardDav::changesSince(const QString& token, QList<CardRef>* changed, QStringList* deleted, QString* newToken)
{
    if (token.isEmpty())
        return false;
    const HttpReply r = send("REPORT", book_, syncBody(token), {{"Depth", "0"}, {"Content-Type", kXml}}, true);
    if (r.status != 207) {
        fail(r, QStringLiteral("Asking for the changes"));
        return false;
    }
    const Multistatus m = parseMultistatus(r.body);
    if (!m.error.isEmpty() || m.syncToken.isEmpty())
        return false;
    changed->clear();
    deleted->clear();
    for (const DavResponse& d : m.responses) {
        if (d.status == 404)
            deleted->append(d.href);
        else if (!d.types.contains(propName(kDav, "collection")) && pathOf(book_, d.href) != book_.path(QUrl::FullyEncoded))
            changed->append({d.href, etagOf(d)});
    }
    *newToken = m.syncToken;
    return true;
}

bool CardDav::fetch(const QStringList& hrefs, QList<RemoteCard>* cards)
{
    cards->clear();
    for (qsizetype at = 0; at < hrefs.size(); at += batch) {
        const QStringList part = hrefs.mid(at, batch);
        const HttpReply r = send("REPORT", book_, multigetBody(part), {{"Depth", "1"}, {"Content-Type", kXml}}, true);
        if (r.status != 207)
            return fail(r, QStringLiteral("Fetching contacts"));
        const Multistatus m = parseMultistatus(r.body);
        if (!m.error.isEmpty()) {
            error_ = QStringLiteral("Fetching contacts: %1.").arg(m.error);
            return false;
        }
        // The cards asked for by path, however the server writes the href.
        QHash<QString, QString> asked;
        for (const QString& h : part)
            asked.insert(pathOf(book_, h), h);
        for (const DavResponse& d : m.responses) {
            const QString data = d.props.value(propName(kCardDav, "address-data"));
            if (d.status != 200 || data.isEmpty())
                continue;
            if (const auto it = asked.constFind(pathOf(book_, d.href)); it != asked.cend()) {
                cards->append({it.value(), etagOf(d), cardOfXmlText(data)});
                asked.erase(it);
            }
        }
        // A server that leaves bodies out: each card asked for on its own
        // (in the order asked).
        QStringList missing = asked.values();
        missing.sort();
        for (const QString& href : std::as_const(missing)) {
            const HttpReply one = send("GET", urlOf(href), {}, {}, true);
            if (one.status == 404)
                continue;   // deleted meanwhile: the next sync sees it
            if (one.status != 200)
                return fail(one, QStringLiteral("Fetching a contact"));
            cards->append({href, one.header("ETag"), one.body});
        }
        if (fetchProgress)
            fetchProgress(static_cast<int>(std::min(at + batch, hrefs.size())), static_cast<int>(hrefs.size()));
    }
    return true;
}

CardDav::Written CardDav::put(const QString& href, const QByteArray& card, const QByteArray& ifMatch, QByteArray* etag,
                              QString* location)
{
    HttpHeaders headers = {{"Content-Type", "text/vcard; charset=utf-8"}};
    headers.append(ifMatch.isEmpty() ? QPair<QByteArray, QByteArray>{"If-None-Match", "*"}
                                     : QPair<QByteArray, QByteArray>{"If-Match", ifMatch});
    const HttpReply r = send("PUT", urlOf(href), card, headers, false);
    *etag = r.header("ETag");
    *location = QString::fromUtf8(r.header("Location"));
    if (r.status == 200 || r.status == 201 || r.status == 204)
        return Written::Done;
    return writeFailed(r, QStringLiteral("Sending a contact"));
}

// What a refused write's status says (a 207 among the failures: a write is
// never a multistatus).
CardDav::Written CardDav::writeFailed(const HttpReply& r, const QString& what)
{
    fail(r, what);
    return r.status == 412 ? Written::Changed : r.status == 403 ? Written::Refused : r.status == 507 ? Written::Full : Written::Failed;
}

CardDav::Written CardDav::remove(const QString& href, const QByteArray& etag)
{
    const HttpReply r = send("DELETE", urlOf(href), {}, {{"If-Match", etag}}, false);
    if (r.status == 200 || r.status == 204 || r.status == 404)
        return Written::Done;
    return writeFailed(r, QStringLiteral("Deleting a contact"));
}

QList<AddressBookInfo> CardDav::discover(Http& http, const QUrl& server, QString* error)
{
    const auto propfind = [&](const QUrl& url, const QByteArray& props, const QByteArray& depth) {
        const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:propfind xmlns:d=\"DAV:\" "
                                "xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop>" +
                                props + "</d:prop></d:propfind>\n";
        return http.send({"PROPFIND", url, {{"Depth", depth}, {"Content-Type", kXml}}, body});
    };
    const auto failed = [&](const HttpReply& r, const QString& what) {
        *error = r.status == 0   ? QStringLiteral("%1: the server did not answer (%2).").arg(what, r.error)
                 : r.status == 401 ? QStringLiteral("%1: wrong user name or password.").arg(what)
                                   : QStringLiteral("%1: the server answered %2.").arg(what).arg(r.status);
        return QList<AddressBookInfo>();
    };
    // An address book given directly is the one; else the well-known
    // address leads to the service (followed up to five redirects), and a
    // server without one is asked at the address given.
    QUrl at = server;
    HttpReply r = propfind(at, "<d:resourcetype/><d:displayname/><d:current-user-privilege-set/>", "0");
    if (r.status == 207) {
        const DavResponse d = parseMultistatus(r.body).responses.value(0);
        if (d.types.contains(propName(kCardDav, "addressbook")))
            return {infoOf(d, at)};
    } else if (r.status == 401 || r.status == 0) {
        return failed(r, QStringLiteral("Signing in"));
    }
    r = propfind(at.resolved(QUrl(QStringLiteral("/.well-known/carddav"))), "<d:current-user-principal/><d:resourcetype/>",
                 "0");
    for (int hops = 0; hops < 5 && r.status >= 301 && r.status <= 308 && !r.header("Location").isEmpty(); ++hops) {
        at = at.resolved(QUrl(QString::fromUtf8(r.header("Location"))));
        r = propfind(at, "<d:current-user-principal/><d:resourcetype/>", "0");
    }
    if (r.status != 207) {
        at = server;
        r = propfind(at, "<d:current-user-principal/><d:resourcetype/>", "0");
        if (r.status != 207)
            return failed(r, QStringLiteral("Finding the address books"));
    }
    Multistatus m = parseMultistatus(r.body);
    const DavResponse first = m.responses.value(0);
    if (first.types.contains(propName(kCardDav, "addressbook")))
        return {infoOf(first, at)};
    const QString principal = first.hrefs.value(propName(kDav, "current-user-principal")).value(0);
    const QUrl principalUrl = principal.isEmpty() ? at : at.resolved(QUrl(principal));
    r = propfind(principalUrl, "<c:addressbook-home-set/>", "0");
    if (r.status != 207)
        return failed(r, QStringLiteral("Finding the address books"));
    m = parseMultistatus(r.body);
    const QString home = m.responses.value(0).hrefs.value(propName(kCardDav, "addressbook-home-set")).value(0);
    const QUrl homeUrl = home.isEmpty() ? principalUrl : principalUrl.resolved(QUrl(home));
    r = propfind(homeUrl, "<d:resourcetype/><d:displayname/><d:current-user-privilege-set/>", "1");
    if (r.status != 207)
        return failed(r, QStringLiteral("Listing the address books"));
    QList<AddressBookInfo> out;
    for (const DavResponse& d : parseMultistatus(r.body).responses)
        if (d.types.contains(propName(kCardDav, "addressbook")))
            out.append(infoOf(d, homeUrl.resolved(QUrl(d.href))));
    if (out.isEmpty())
        *error = QStringLiteral("The server holds no address book for this user.");
    return out;
}

} // namespace pb::sync
