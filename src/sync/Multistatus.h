#pragma once

// WebDAV's 207 Multi-Status answer (RFC 4918), as CardDAV servers send it
// to PROPFIND and REPORT: one response per resource, each with the
// properties asked for and the status they came with.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

namespace pb::sync {

struct DavResponse {
    QString href;                    // as the server wrote it
    int status = 0;                  // of the response itself (a deleted member in a sync report: 404)
    // Properties found (status 200), by "namespace localname": the text of
    // a simple one, the inner hrefs of one that holds hrefs, the names of
    // the elements of a resource type.
    QHash<QString, QString> props;
    QHash<QString, QList<QString>> hrefs;
    QList<QString> types;            // of DAV:resourcetype: "DAV: collection", "urn:ietf:params:xml:ns:carddav addressbook"
    QList<QString> privileges;       // of DAV:current-user-privilege-set: "DAV: read", "DAV: write", ...
};

struct Multistatus {
    QList<DavResponse> responses;
    QString syncToken;               // DAV:sync-token of a sync-collection report
    QString error;                   // not a multistatus: why
};

Multistatus parseMultistatus(const QByteArray& xml);

// Property names as the parser keys them.
inline const QString kDav = QStringLiteral("DAV:");
inline const QString kCardDav = QStringLiteral("urn:ietf:params:xml:ns:carddav");
inline QString propName(const QString& ns, const char* local) { return ns + u' ' + QLatin1String(local); }

} // namespace pb::sync
