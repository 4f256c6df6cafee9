#include "sync/Multistatus.h"

#include <QXmlStreamReader>

namespace pb::sync {

namespace {

// "HTTP/1.1 404 Not Found" -> 404.
int statusOf(const QString& line)
{
    const QStringList parts = line.trimmed().split(u' ', Qt::SkipEmptyParts);
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

QString keyOf(const QXmlStreamReader& x)
{
    return x.namespaceUri().toString() + u' ' + x.name().toString();
}

bool is(const QXmlStreamReader& x, const QString& ns, const char* local)
{
    return x.namespaceUri() == ns && x.name() == QLatin1String(local);
}

// The properties of one <prop>, the reader on its start.
void readProps(QXmlStreamReader& x, DavResponse& into)
{
    while (x.readNextStartElement()) {
        const QString key = keyOf(x);
        if (is(x, kDav, "resourcetype")) {
            while (x.readNextStartElement()) {
                into.types << keyOf(x);
                x.skipCurrentElement();
            }
            into.props.insert(key, QString());
            continue;
        }
        if (is(x, kDav, "current-user-privilege-set")) {
            while (x.readNextStartElement()) {
                if (is(x, kDav, "privilege"))
                    while (x.readNextStartElement()) {
                        into.privileges << keyOf(x);
                        x.skipCurrentElement();
                    }
                else
                    x.skipCurrentElement();
            }
            into.props.insert(key, QString());
            continue;
        }
        // A property of hrefs (current-user-principal, addressbook-home-set)
        // or of text (getetag, displayname, address-data, sync-token).
        QString text;
        QList<QString> hrefs;
        while (!x.atEnd()) {
            x.readNext();
            if (x.isCharacters())
                text += x.text();
            else if (x.isStartElement() && is(x, kDav, "href"))
                hrefs << x.readElementText().trimmed();
            else if (x.isStartElement())
                x.skipCurrentElement();
            else if (x.isEndElement())
                break;
        }
        if (!hrefs.isEmpty())
            into.hrefs.insert(key, hrefs);
        into.props.insert(key, hrefs.isEmpty() ? text : QString());
    }
}

// One <propstat>: its properties kept when their status is a success.
void readPropstat(QXmlStreamReader& x, DavResponse& into)
{
    DavResponse found;
    int status = 200;
    while (x.readNextStartElement()) {
        if (is(x, kDav, "prop"))
            readProps(x, found);
        else if (is(x, kDav, "status"))
            status = statusOf(x.readElementText());
        else
            x.skipCurrentElement();
    }
    if (status < 200 || status > 299)
        return;
    for (auto it = found.props.cbegin(); it != found.props.cend(); ++it)
        into.props.insert(it.key(), it.value());
    for (auto it = found.hrefs.cbegin(); it != found.hrefs.cend(); ++it)
        into.hrefs.insert(it.key(), it.value());
    into.types += found.types;
    into.privileges += found.privileges;
}

DavResponse readResponse(QXmlStreamReader& x)
{
    DavResponse r;
    while (x.readNextStartElement()) {
        if (is(x, kDav, "href"))
            r.href = x.readElementText().trimmed();
        else if (is(x, kDav, "status"))
            r.status = statusOf(x.readElementText());
        else if (is(x, kDav, "propstat"))
            readPropstat(x, r);
        else
            x.skipCurrentElement();
    }
    if (r.status == 0)
        r.status = 200;
    return r;
}

} // namespace

Multistatus parseMultistatus(const QByteArray& xml)
{
    Multistatus m;
    QXmlStreamReader x(xml);
    if (!x.readNextStartElement() || !is(x, kDav, "multistatus")) {
        m.error = x.hasError() ? x.errorString() : QStringLiteral("the answer is no WebDAV multistatus");
        return m;
    }
    while (x.readNextStartElement()) {
        if (is(x, kDav, "response"))
            m.responses << readResponse(x);
        else if (is(x, kDav, "sync-token"))
            m.syncToken = x.readElementText().trimmed();
        else
            x.skipCurrentElement();
    }
    if (x.hasError())
        m.error = QStringLiteral("the server's answer is not well-formed XML (%1, line %2)").arg(x.errorString()).arg(x.lineNumber());
    return m;
}

} // namespace pb::sync
