#include "mail/oauth/https_form_post.h"

#include "mail/smtp/interruptible_call.h"
#include "mail/smtp/smtp_error.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QThread>
#include <QTimer>
#include <memory>

namespace velocast::mail {

namespace {

HttpsReply postOnThread(const QString& url, const QUrlQuery& form, const QString& caFile, int timeoutMs) {
    HttpsReply result;
    const std::unique_ptr<QThread> thread(QThread::create([&] {
        QNetworkAccessManager manager;
        QNetworkRequest request{QUrl(url)};
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        request.setRawHeader("Accept", "application/json");
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(timeoutMs);
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
        if (!caFile.isEmpty() && !tls.addCaCertificates(caFile)) {
            result.error = QStringLiteral("[oauth] ca_file %1 holds no PEM certificate").arg(caFile);
            result.trustFailed = true;
            return;
        }
        request.setSslConfiguration(tls);
        std::unique_ptr<QNetworkReply> reply(manager.post(request, form.toString(QUrl::FullyEncoded).toLatin1()));
        QEventLoop loop;
        QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
        // The transfer time-out restarts with every byte; this one bounds the whole request.
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
        deadline.start(timeoutMs);
        if (!reply->isFinished()) loop.exec();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result.reached = status.isValid();
        result.status = status.toInt();
        result.body = reply->readAll();
        result.trustFailed = reply->error() == QNetworkReply::SslHandshakeFailedError;
        if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
            result.error = QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000);
        else result.error = reply->errorString();
    }));
    thread->start();
    thread->wait();
    return result;
}

}  // namespace

HttpsReply postForm(const QString& url, const QUrlQuery& form, const QString& caFile, int timeoutMs) {
    // The request may take its whole time-out (30 s by default); an end request must not sit
    // it out, as it does not sit out a wait for the SMTP server.
    try {
        return callInterruptibly<HttpsReply>(
            [url, form, caFile, timeoutMs] { return postOnThread(url, form, caFile, timeoutMs); });
    } catch (const SmtpError& e) {  // asked to end before anyone could end the process
        HttpsReply interrupted;
        interrupted.error = e.message();
        return interrupted;
    }
}

}  // namespace velocast::mail
