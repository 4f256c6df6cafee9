#include "platform/NetworkHttp.h"

#include <QAuthenticator>
#include <QBuffer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace pb {

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
    else if (out.status == 0)
        out.error = reply->errorString();
    if (timedOut)
        out.status = 0;
    reply->deleteLater();
    return out;
}

} // namespace pb
