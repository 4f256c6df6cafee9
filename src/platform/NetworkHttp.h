#pragma once

// The real network behind the Http seam: Qt's network access, one request
// at a time, waited for with a time limit, signed in with the account's
// user name and password when the server asks (once: a second asking
// means they are wrong, and the answer is the server's 401). A certificate
// no authority vouches for is accepted only when it is the pinned one.

#include "platform/Http.h"

#include <memory>

class QNetworkAccessManager;

namespace pb {

class NetworkHttp : public Http
{
public:
    NetworkHttp();
    ~NetworkHttp() override;

    void setCredentials(const QString& user, const QString& password);
    void setTimeout(int seconds) override { timeout_ = seconds; }

    HttpReply send(const HttpRequest& request) override;
    void trust(const QString& fingerprint) override { pinned_ = fingerprint; }
    QString refusedFingerprint() const override { return refused_; }
    QString fingerprint() const { return pinned_; }

private:
    std::unique_ptr<QNetworkAccessManager> manager_;
    QString user_, password_;
    int timeout_ = 30;
    QString pinned_, refused_;
};

} // namespace pb
