// One HTTP(S) GET to a service; see http_dialogue.h.
#include "publish/networks/http_dialogue.h"

#include "publish/networks/socket_failure.h"
#include "publish/networks/software_identity.h"

#include <QSslCertificate>
#include <QSslSocket>
#include <QTcpSocket>

namespace publish {

namespace {

// The status line and headers of a reply; a service's are a few hundred bytes.
constexpr qsizetype HeadLimitBytes = qsizetype{16} * 1024;
// All bytes of a reply, its framing included: the body's limit leaves room for chunk lines.
constexpr qint64 RawLimitBytes = qint64{2} * ReplyLimitBytes + HeadLimitBytes;
// What is read from the socket at a time, so that Qt never holds much more than the limit.
constexpr qint64 ReadSliceBytes = qint64{16} * 1024;

bool IsHttps(const QUrl& url)
{
    return url.scheme() == QLatin1String("https");
}

// Takes one line off the front, without its line end; false while the line is not whole yet.
bool TakeLine(QByteArray& pending, QByteArray& line)
{
    const qsizetype end = pending.indexOf('\n');
    if (end < 0)
        return false;
    line = pending.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    pending.remove(0, end + 1);
    return true;
}

QString CertificateName(const QSslCertificate& certificate, QSslCertificate::SubjectInfo field, bool issuer)
{
    const QStringList names = issuer ? certificate.issuerInfo(field) : certificate.subjectInfo(field);
    QString name = names.value(0).left(80);
    for (QChar& c : name)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    return name;
}

QString SslErrorText(QSslError::SslError error)
{
    switch (error) {
    case QSslError::HostNameMismatch:
        return QStringLiteral("он выдан для другого имени сервера");
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return QStringLiteral("он самоподписанный");
    case QSslError::CertificateExpired:
        return QStringLiteral("срок его действия истёк");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("срок его действия ещё не начался");
    case QSslError::CertificateRevoked:
        return QStringLiteral("он отозван");
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("его выдал неизвестный удостоверяющий центр");
    default:
        return QStringLiteral("он не прошёл проверку");
    }
}

} // namespace

void THttpDialogue::Start(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done)
{
    new THttpDialogue(request, timeoutMs, std::move(done));
}

QByteArray THttpDialogue::RequestBytes(const TOutgoingRequest& request)
{
    QUrl target = request.Url;
    QUrl::FormattingOptions format =
        QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment | QUrl::FullyEncoded;
    if (target.path().isEmpty())
        target.setPath(QStringLiteral("/"));
    else
        format |= QUrl::NormalizePathSegments;
    QByteArray host = request.Url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    const int port = request.Url.port();
    if (port != -1 && port != (IsHttps(request.Url) ? 443 : 80))
        host += ':' + QByteArray::number(port);
    QByteArray bytes = "GET " + target.toEncoded(format) + " HTTP/1.1\r\nHost: " + host +
        "\r\nUser-Agent: " + UserAgent() + "\r\nAccept: */*\r\nConnection: close\r\n";
    for (const auto& [name, value] : request.Headers)
        bytes += name + ": " + value + "\r\n";
    return bytes + "\r\n";
}

QString THttpDialogue::CertificateProblem(const QList<QSslError>& errors)
{
    for (const QSslError& error : errors) {
        const QSslCertificate certificate = error.certificate();
        if (certificate.isNull())
            continue;
        QString subject = CertificateName(certificate, QSslCertificate::CommonName, false);
        if (subject.isEmpty())
            subject = CertificateName(certificate, QSslCertificate::Organization, false);
        const QString issuer = CertificateName(certificate, QSslCertificate::CommonName, true);
        return QStringLiteral("сертификат сервера «%1» (выдан «%2») не принят: %3")
            .arg(subject, issuer, SslErrorText(error.error()));
    }
    return {};
}

THttpDialogue::THttpDialogue(const TOutgoingRequest& request, int timeoutMs, TExchange::TDone done)
    : FRequest(request)
    , FDone(std::move(done))
{
    const bool https = IsHttps(request.Url);
    QSslSocket* secure = https ? new QSslSocket(this) : nullptr;
    FSocket = secure != nullptr ? secure : new QTcpSocket(this);
    FSocket->setReadBufferSize(ReadSliceBytes);
    connect(FSocket, &QTcpSocket::readyRead, this, &THttpDialogue::Readable);
    connect(FSocket, &QTcpSocket::disconnected, this, &THttpDialogue::Closed);
    connect(FSocket, &QTcpSocket::errorOccurred, this, &THttpDialogue::Failed);
    FTimer.setSingleShot(true);
    connect(&FTimer, &QTimer::timeout, this, [this] { Finish(FTimerEnds); });
    FTimer.start(timeoutMs);
    const QString host = request.Url.host();
    const int port = request.Url.port(https ? 443 : 80);
    if (secure == nullptr) {
        connect(FSocket, &QTcpSocket::connected, this, &THttpDialogue::Connected);
        FSocket->connectToHost(host, static_cast<quint16>(port));
        return;
    }
    if (!QSslSocket::supportsSsl()) { // told from the event loop, as every outcome is
        FResult.FailureDetail = QStringLiteral("TLS недоступен в этой сборке");
        FTimerEnds = TExchangeFailure::Tls;
        FTimer.start(0);
        return;
    }
    connect(secure, &QSslSocket::encrypted, this, &THttpDialogue::Connected);
    connect(secure, qOverload<const QList<QSslError>&>(&QSslSocket::sslErrors), this,
            [this](const QList<QSslError>& errors) { FSslErrors += errors; });
    secure->connectToHostEncrypted(host, static_cast<quint16>(port));
}

void THttpDialogue::Connected()
{
    FStep = TStep::Head;
    FSocket->write(RequestBytes(FRequest));
}

void THttpDialogue::Readable()
{
    while (FStep == TStep::Head || FStep == TStep::Body) {
        const QByteArray slice = FSocket->read(ReadSliceBytes);
        if (slice.isEmpty())
            return;
        FReceivedBytes += slice.size();
        FPending += slice;
        if (FReceivedBytes > RawLimitBytes) {
            if (FResult.Body.isEmpty())
                FResult.Body = FPending.left(ReplyLimitBytes);
            Finish(TExchangeFailure::ReplyTooLong);
            return;
        }
        if (FStep == TStep::Head && !TakeHead())
            return;
        if (FStep == TStep::Body && !TakeBody())
            return;
    }
}

bool THttpDialogue::TakeHead()
{
    QByteArray line;
    while (FStep == TStep::Head) {
        if (!TakeLine(FPending, line)) {
            if (FPending.size() > HeadLimitBytes) {
                FResult.Body = FPending.left(HeadLimitBytes);
                Finish(TExchangeFailure::UnexpectedReply);
                return false;
            }
            return true; // wait for the rest
        }
        if (FResult.HttpStatus == 0) {
            // "HTTP/1.1 200 OK"
            const QList<QByteArray> parts = line.split(' ');
            bool number = false;
            const int status = parts.value(1).toInt(&number);
            if (!line.startsWith("HTTP/") || !number || status < 100 || status > 999) {
                FResult.Body = line + '\n' + FPending;
                Finish(TExchangeFailure::UnexpectedReply);
                return false;
            }
            FResult.HttpStatus = status;
            continue;
        }
        if (!line.isEmpty()) {
            const qsizetype colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = colon < 0 ? QByteArray() : line.mid(colon + 1).trimmed();
            if (name == "content-length")
                FContentLength = value.toLongLong();
            else if (name == "transfer-encoding")
                FChunked = value.toLower().contains("chunked");
            else if (name == "retry-after")
                FResult.RetryAfterHeader = value;
            else if (name == "location")
                FResult.LocationHeader = value;
            continue;
        }
        // The end of the head. An interim reply (1xx) is followed by the real one.
        if (FResult.HttpStatus < 200) {
            FResult = {};
            FContentLength = -1;
            FChunked = false;
            continue;
        }
        FStep = TStep::Body;
        if (FResult.HttpStatus == 204 || FResult.HttpStatus == 304)
            FContentLength = 0;
    }
    return true;
}

bool THttpDialogue::TakeBody()
{
    if (FChunked)
        return TakeChunks();
    FResult.Body += FPending;
    FPending.clear();
    if (FResult.Body.size() > ReplyLimitBytes) {
        Finish(TExchangeFailure::ReplyTooLong);
        return false;
    }
    if (FContentLength >= 0 && FResult.Body.size() >= FContentLength) {
        FResult.Body.truncate(FContentLength);
        Finish(TExchangeFailure::None);
        return false;
    }
    return true;
}

bool THttpDialogue::TakeChunks()
{
    QByteArray line;
    for (;;) {
        if (FChunkLeft == -1) { // the size line of the next chunk
            if (!TakeLine(FPending, line)) {
                if (FPending.size() <= HeadLimitBytes)
                    return true;
                Finish(TExchangeFailure::UnexpectedReply);
                return false;
            }
            bool number = false;
            const qint64 size = line.split(';').value(0).trimmed().toLongLong(&number, 16);
            if (!number || size < 0) {
                Finish(TExchangeFailure::UnexpectedReply);
                return false;
            }
            if (size == 0) { // the last chunk; trailers mean nothing here
                Finish(TExchangeFailure::None);
                return false;
            }
            FChunkLeft = size;
        }
        if (FChunkLeft > 0) {
            const qsizetype taken = static_cast<qsizetype>(std::min<qint64>(FChunkLeft, FPending.size()));
            FResult.Body += FPending.left(taken);
            FPending.remove(0, taken);
            FChunkLeft -= taken;
            if (FResult.Body.size() > ReplyLimitBytes) {
                Finish(TExchangeFailure::ReplyTooLong);
                return false;
            }
            if (FChunkLeft > 0)
                return true;
        }
        // The line end after a chunk's data.
        if (!TakeLine(FPending, line))
            return true;
        FChunkLeft = -1;
    }
}

void THttpDialogue::Closed()
{
    Readable(); // what came just before the close
    if (FStep == TStep::Done)
        return;
    if (FStep == TStep::Body && FContentLength < 0 && !FChunked) {
        Finish(TExchangeFailure::None); // the body runs to the close
        return;
    }
    const bool nothing = FReceivedBytes == 0;
    if (FResult.Body.isEmpty())
        FResult.Body = FPending;
    Finish(nothing ? TExchangeFailure::ClosedWithoutReply : TExchangeFailure::UnexpectedReply);
}

void THttpDialogue::Failed(QAbstractSocket::SocketError error)
{
    const std::optional<TExchangeFailure> failure = SocketFailure(error);
    if (!failure)
        return; // Closed() decides
    if (*failure == TExchangeFailure::Tls)
        FResult.FailureDetail = CertificateProblem(FSslErrors);
    if (*failure == TExchangeFailure::Network)
        FResult.NetworkErrorCode = static_cast<int>(error);
    Finish(*failure);
}

void THttpDialogue::Finish(TExchangeFailure failure)
{
    if (FStep == TStep::Done)
        return;
    FStep = TStep::Done;
    FTimer.stop();
    FResult.Failure = failure;
    FResult.Body.truncate(ReplyLimitBytes);
    FSocket->disconnect(this);
    if (FSocket->state() != QAbstractSocket::UnconnectedState)
        FSocket->abort();
    deleteLater();
    FDone(FResult);
}

} // namespace publish
