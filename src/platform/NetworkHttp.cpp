#include "platform/NetworkHttp.h"

#include <QAuthenticator>
#include <QBuffer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QTimer>

namespace pb {

namespace {

QString fingerprintOf(const QSslCertificate& certificate)
{
    const QByteArray hex = certificate.digest(QCryptographicHash::Sha256).toHex().toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
        pairs << QString::fromLatin1(hex.mid(i, 2));
    return pairs.join(u':');
}

} // namespace

NetworkHttp::NetworkHttp() : manager_(std::make_unique<QNetworkAccessManager>()) {}

NetworkHttp::~NetworkHttp() = default;

void NetworkHttp::setCredentials(const QString& user, const QString& password)
{
    user_ = user;
    password_ = password;
}

HttpReply NetworkHttp::send(const HttpRequest& request)
{
    QNetworkRequest r(request.url);
    r.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    r.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    for (const auto& [name, value] : request.headers)
        r.setRawHeader(name, value);
    QBuffer body;
    body.setData(request.body);
    body.open(QIODevice::ReadOnly);
    QNetworkReply* reply = manager_->sendCustomRequest(r, request.method, &body);

    int asked = 0;
    QObject::connect(manager_.get(), &QNetworkAccessManager::authenticationRequired, reply,
                     [&](QNetworkReply* which, QAuthenticator* auth) {
                         // Signed in once; asked again, the credentials are wrong.
                         if (which == reply && asked++ == 0 && !user_.isEmpty()) {
                             auth->setUser(user_);
                             auth->setPassword(password_);
                         }
                     });
    refused_.clear();
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&](const QList<QSslError>& errors) {
        const QString seen = fingerprintOf(reply->sslConfiguration().peerCertificate());
        if (!pinned_.isEmpty() && seen.compare(pinned_, Qt::CaseInsensitive) == 0)
            reply->ignoreSslErrors(errors);
        else
            refused_ = seen;
    });
    QEventLoop loop;
    QTimer quiet;
    quiet.setSingleShot(true);
    bool timedOut = false;
    QObject::connect(&quiet, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        reply->abort();
    });
    const auto progress = [&] { quiet.start(timeout_ * 1000); };
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, progress);
    QObject::connect(reply, &QNetworkReply::uploadProgress, &loop, progress);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    progress();
    if (!reply->isFinished())
        loop.exec();

    HttpReply out;
    out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    for (const auto& [name, value] : reply->rawHeaderPairs())
        out.headers.append({name, value});
    out.body = reply->readAll();
    if (timedOut)
        out.error = QStringLiteral("no answer within %1 seconds").arg(timeout_);
    else if (!refused_.isEmpty())
        out.error = pinned_.isEmpty()
                        ? QStringLiteral("the server's certificate is not vouched for by any authority this computer "
                                         "trusts (its SHA-256 fingerprint is %1)")
                              .arg(refused_)
                        : QStringLiteral("the server's certificate is no longer the one trusted for this account "
                                         "(its SHA-256 fingerprint is now %1)")
                              .arg(refused_);
    else if (out.status == 0)
        out.error = reply->errorString();
    if (timedOut)
        out.status = 0;
    reply->deleteLater();
    return out;
}

} // namespace pb
