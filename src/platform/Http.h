#pragma once

// Requests to a server, one at a time, answered in full: the seam every
// network request of the program goes through, so that tests script the
// server's answers and the program uses the real network.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

namespace pb {

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

struct HttpRequest {
    QByteArray method;   // GET, PUT, DELETE, PROPFIND, REPORT, ...
    QUrl url;
    HttpHeaders headers;
    QByteArray body;
};

struct HttpReply {
    int status = 0;         // 0: no answer (see error)
    HttpHeaders headers;
    QByteArray body;
    QString error;          // why there was no answer: refused, timed out, cut, ...
    // A header's value (the first of the name, in any case), or empty.
    QByteArray header(const QByteArray& name) const
    {
        for (const auto& [k, v] : headers)
            if (k.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return {};
    }
};

class Http
{
public:
    virtual ~Http() = default;
    // Sends the request and waits for the whole answer. Redirects are not
    // followed (the caller decides); credentials, when the server asks,
    // are the caller's too (see NetworkHttp).
    virtual HttpReply send(const HttpRequest& request) = 0;

    // A server whose certificate no authority here vouches for (its own,
    // self-signed) is trusted only when its SHA-256 fingerprint is the one
    // the user confirmed: pinned here, as hex pairs split by colons.
    virtual void trust(const QString& fingerprint) { (void)fingerprint; }
    // The fingerprint of a certificate the last request refused, for the
    // user to confirm; empty when none was refused.
    virtual QString refusedFingerprint() const { return {}; }
    // Seconds without any byte of an answer before a request is given up.
    virtual void setTimeout(int seconds) { (void)seconds; }
};

} // namespace pb
