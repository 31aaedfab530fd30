#include "ServerTrust.h"

#include "platform/Failure.h"

#include <QCryptographicHash>
#include <QFile>

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <mutex>

namespace {

QString fingerprintOf(const QByteArray& sha256)
{
    return QStringLiteral("SHA256:") +
           QString::fromLatin1(sha256.toBase64(QByteArray::OmitTrailingEquals));
}

// The type as hosts publish their fingerprints: "ssh-ed25519" is ED25519, "ecdsa-sha2-nistp256"
// is ECDSA.
QString sshTypeName(const QByteArray& type)
{
    if (type == "ssh-rsa")
        return QStringLiteral("RSA");
    if (type == "ssh-dss")
        return QStringLiteral("DSA");
    if (type.startsWith("ecdsa-"))
        return QStringLiteral("ECDSA");
    if (type.startsWith("ssh-"))
        return QString::fromLatin1(type.mid(4)).toUpper();
    return QString::fromLatin1(type).toUpper();
}

QString tlsTypeName(EVP_PKEY* key)
{
    switch (EVP_PKEY_get_base_id(key)) {
    case EVP_PKEY_RSA:
        return QStringLiteral("RSA");
    case EVP_PKEY_EC:
        return QStringLiteral("ECDSA");
    case EVP_PKEY_ED25519:
        return QStringLiteral("ED25519");
    case EVP_PKEY_ED448:
        return QStringLiteral("ED448");
    case EVP_PKEY_DSA:
        return QStringLiteral("DSA");
    }
    return QStringLiteral("unknown");
}

// Why the TLS library would not verify a certificate, as the question puts it.
QString reasonOf(long error)
{
    switch (error) {
    case X509_V_OK:
        // The chain verified, so it was the name that did not match.
        return QStringLiteral("it was issued for another name");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return QStringLiteral("it is self-signed");
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return QStringLiteral("its issuer is unknown to this computer");
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("it has expired");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("it is not valid yet");
    }
    return QString::fromLatin1(X509_verify_cert_error_string(error));
}

int captureIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

} // namespace

// What the TLS library saw of the server's certificate during the last attempt.
struct ServerTrust::TlsCapture
{
    QByteArray keySha256;  // of the leaf certificate's public key (SubjectPublicKeyInfo)
    QString keyType;
    long error = X509_V_OK;  // the first reason the chain did not verify

    void take(X509* leaf)
    {
        unsigned char* der = nullptr;
        const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(leaf), &der);
        if (size <= 0)
            return;
        keySha256 = QCryptographicHash::hash(QByteArrayView(der, size), QCryptographicHash::Sha256);
        OPENSSL_free(der);
        keyType = tlsTypeName(X509_get0_pubkey(leaf));
    }

    // Runs inside the handshake for each certificate of the chain; changes no verdict.
    static int onVerify(int ok, X509_STORE_CTX* store)
    {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* capture = ssl ? static_cast<TlsCapture*>(
                                  SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), captureIndex()))
                            : nullptr;
        if (capture) {
            if (X509* leaf = X509_STORE_CTX_get0_cert(store))
                capture->take(leaf);
            if (!ok && capture->error == X509_V_OK)
                capture->error = X509_STORE_CTX_get_error(store);
        }
        return ok;
    }

    // libcurl hands over each connection's TLS context before it connects.
    static CURLcode onContext(CURL*, void* context, void* capture)
    {
        auto* ctx = static_cast<SSL_CTX*>(context);
        SSL_CTX_set_ex_data(ctx, captureIndex(), capture);
        SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), onVerify);
        return CURLE_OK;
    }
};

// What the SSH host key check of the last attempt saw and decided.
struct ServerTrust::SshCheck
{
    ServerTrust* trust = nullptr;
    bool checked = false;     // the server showed a key
    bool trustedNow = false;  // the user trusted it in this attempt
    bool probing = false;     // only to see the key: never log in
    ServerIdentity shown;

    static int onHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch, void* data)
    {
        auto& check = *static_cast<SshCheck*>(data);
        ServerTrust& trust = *check.trust;
        check.checked = true;
        const QByteArray key = found->len ? QByteArray(found->key, qsizetype(found->len))
                                          : QByteArray::fromBase64(found->key);
        check.shown = trust.identity();
        check.shown.fingerprint =
            fingerprintOf(QCryptographicHash::hash(key, QCryptographicHash::Sha256));
        check.shown.keyType = sshTypeName(KnownServers::sshKeyType(key));
        check.shown.key = key;
        KnownServers::Match match = KnownServers::Match::Unknown;
        try {
            match = trust.m_known.sshHostKey(trust.m_host, trust.m_port, key);
        } catch (const Failure&) {
            return CURLKHSTAT_REJECT;
        }
        if (match == KnownServers::Match::Changed) {
            check.shown.standing = ServerIdentity::Standing::Changed;
            trust.m_check(check.shown);
            return CURLKHSTAT_REJECT;
        }
        if (check.probing)
            return CURLKHSTAT_REJECT;
        if (match == KnownServers::Match::Same)
            return CURLKHSTAT_FINE;
        check.trustedNow = trust.m_check(check.shown);
        return check.trustedNow ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
    }
};

ServerTrust::ServerTrust(FtpProtocol protocol, QString host, quint16 port, KnownServers known,
                         Check check)
    : m_protocol(protocol), m_host(std::move(host)), m_port(port), m_known(std::move(known)),
      m_check(std::move(check)), m_tls(std::make_unique<TlsCapture>()),
      m_ssh(std::make_unique<SshCheck>())
{
    m_ssh->trust = this;
    if (m_protocol == FtpProtocol::FtpOverTls) {
        m_pin = m_known.tlsPin(m_host, m_port);
        m_verifiedBefore = m_known.tlsVerified(m_host, m_port);
    }
}

ServerTrust::~ServerTrust() = default;

void ServerTrust::setCertificateAuthorities(const QString& bundle, const QString& revocations)
{
    m_caBundle = QFile::encodeName(bundle);
    m_revocations = QFile::encodeName(revocations);
}

ServerIdentity ServerTrust::identity() const
{
    ServerIdentity identity;
    identity.protocol = m_protocol;
    identity.host = m_host;
    identity.port = m_port;
    return identity;
}

void ServerTrust::prepare(CURL* curl)
{
    if (m_protocol == FtpProtocol::FtpOverTls) {
        *m_tls = TlsCapture();
        // With a pin only the server whose public key it names is accepted, whoever signed
        // its certificate; without one the certificate must verify. A pin that this libcurl
        // cannot check fails the attempt, and leaves the certificate checked.
        const bool pinned = !m_pin.isEmpty() &&
            curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, m_pin.constData()) == CURLE_OK;
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, pinned ? 0L : 1L);
        curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, pinned ? 0L : 2L);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, TlsCapture::onContext);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, m_tls.get());
        if (!m_caBundle.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CAINFO, m_caBundle.constData());
        if (!m_revocations.isEmpty())
            curl_easy_setopt(curl, CURLOPT_CRLFILE, m_revocations.constData());
#ifdef _WIN32
        // The certificates this Windows trusts, from its own store.
        curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_NATIVE_CA));
#endif
    }
    if (m_protocol == FtpProtocol::Sftp) {
        const SshCheck fresh{this, false, false, m_ssh->probing, {}};
        *m_ssh = fresh;
        // libcurl checks host keys only with a known_hosts file; the check itself is ours. A
        // probe reads none, so that the SSH library does not insist on the type of key known.
        const QByteArray file = QFile::encodeName(
            m_ssh->probing ? m_nowhere->filePath(QStringLiteral("known_hosts"))
                           : m_known.knownHostsFile());
        curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS, file.constData());
        curl_easy_setopt(curl, CURLOPT_SSH_KEYFUNCTION, SshCheck::onHostKey);
        curl_easy_setopt(curl, CURLOPT_SSH_KEYDATA, m_ssh.get());
    }
}

bool ServerTrust::retryAfter(CURL* curl, const Attempt& attempt)
{
    switch (m_protocol) {
    case FtpProtocol::FtpOverTls:
        return retryTls(curl, attempt);
    case FtpProtocol::Sftp:
        return retrySsh(curl, attempt);
    default:
        return false;
    }
}

bool ServerTrust::retryTls(CURL* curl, const Attempt& attempt)
{
    ServerIdentity shown = identity();
    shown.fingerprint = fingerprintOf(m_tls->keySha256);
    shown.keyType = m_tls->keyType;
    shown.key = "sha256//" + m_tls->keySha256.toBase64();
    const bool verifying = m_pin.isEmpty();
    if (verifying && attempt.loggedIn && !m_verifiedBefore) {
        // Verified by an authority: from now on it must always verify.
        shown.standing = ServerIdentity::Standing::Verified;
        m_check(shown);
        m_verifiedBefore = true;
        return false;
    }
    if (m_tls->keySha256.isEmpty())
        return false;
    if (!verifying) {
        if (attempt.result == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
            shown.standing = ServerIdentity::Standing::Changed;
            m_check(shown);
        }
        return false;
    }
    if (attempt.result != CURLE_PEER_FAILED_VERIFICATION)
        return false;
    shown.reason = reasonOf(m_tls->error);
    if (m_tls->error == X509_V_ERR_CERT_REVOKED)
        shown.standing = ServerIdentity::Standing::Revoked;
    else if (m_verifiedBefore)
        shown.standing = ServerIdentity::Standing::Changed;
    if (!m_check(shown) || shown.standing != ServerIdentity::Standing::New)
        return false;
    m_pin = shown.key;
    prepare(curl);
    return true;
}

bool ServerTrust::retrySsh(CURL* curl, const Attempt& attempt)
{
    if (m_ssh->probing || attempt.result == CURLE_OK)
        return false;
    // A server met for the first time may have dropped the connection, or libcurl given up on
    // it, while the user read the question.
    if (m_ssh->trustedNow && !attempt.transferred &&
        (attempt.result == CURLE_OPERATION_TIMEDOUT || attempt.result == CURLE_SSH)) {
        prepare(curl);
        return true;
    }
    // The SSH library asks a known server for the type of key known; one that no longer has it
    // fails before it shows a key. Look at the key it has now, without logging in.
    bool known = false;
    try {
        known = !m_ssh->checked && m_known.knowsSshServer(m_host, m_port);
    } catch (const Failure&) {
    }
    if (!known)
        return false;
    m_nowhere.emplace();
    if (!m_nowhere->isValid())
        return false;
    m_ssh->probing = true;
    prepare(curl);
    return true;
}
