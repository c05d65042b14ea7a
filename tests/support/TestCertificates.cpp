#include "TestCertificates.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <stdexcept>

namespace testsupport {

namespace {

[[noreturn]] void fail(const char* what) { throw std::runtime_error(std::string("test certificate: ") + what); }

EVP_PKEY* newKey()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    if (!key)
        fail("EC key");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const QByteArray& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.constData());
    if (!ext)
        fail("extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

X509* newCertificate(const QString& commonName, EVP_PKEY* key, int notBeforeDays, int notAfterDays)
{
    static long serial = 1;
    X509* cert = X509_new();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert), long(notBeforeDays) * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert), long(notAfterDays) * 86400);
    X509_set_pubkey(cert, key);
    X509_NAME* name = X509_get_subject_name(cert);
    const QByteArray cn = commonName.toUtf8();
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.constData()), -1, -1, 0);
    return cert;
}

void writePem(const QString& path, X509* cert, EVP_PKEY* key)
{
    FILE* f = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!f)
        fail("open file");
    const bool ok = cert ? PEM_write_X509(f, cert) == 1 : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    if (!ok)
        fail("write PEM");
}

QString fingerprintOf(X509* cert)
{
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(cert, EVP_sha256(), md, &size);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), int(size)).toHex(':').toUpper());
}

// From the key pair itself, DER SubjectPublicKeyInfo as i2d_PUBKEY writes it.
QString keyPinOf(EVP_PKEY* key)
{
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(key, &der);
    if (size <= 0)
        fail("public key DER");
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int mdSize = 0;
    EVP_Digest(der, static_cast<std::size_t>(size), md, &mdSize, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    return QStringLiteral("sha256//") + QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(md), int(mdSize)).toBase64());
}

}

struct TestCa::Keys {
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    ~Keys()
    {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
};

TestCa::TestCa(const QString& dir, const QString& name) : m_keys(std::make_unique<Keys>()), m_dir(dir)
{
    m_keys->key = newKey();
    m_keys->cert = newCertificate(QStringLiteral("Autoridade de teste ") + name, m_keys->key, -1, 365);
    X509_set_issuer_name(m_keys->cert, X509_get_subject_name(m_keys->cert));
    addExtension(m_keys->cert, m_keys->cert, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(m_keys->cert, m_keys->cert, NID_key_usage, "critical,keyCertSign,cRLSign");
    addExtension(m_keys->cert, m_keys->cert, NID_subject_key_identifier, "hash");
    if (X509_sign(m_keys->cert, m_keys->key, EVP_sha256()) == 0)
        fail("sign CA");
    m_certFile = QDir(dir).filePath(name + QStringLiteral("-ca.pem"));
    writePem(m_certFile, m_keys->cert, nullptr);
}

TestCa::~TestCa() = default;

ServerCertificate TestCa::issue(const QString& name, const Options& options) const
{
    EVP_PKEY* key = newKey();
    X509* cert = newCertificate(name, key, options.notBeforeDays, options.notAfterDays);
    X509* issuer = options.selfSigned ? cert : m_keys->cert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuer));
    QStringList names;
    for (const QString& ip : options.ips)
        names << QStringLiteral("IP:") + ip;
    for (const QString& dns : options.dnsNames)
        names << QStringLiteral("DNS:") + dns;
    if (!names.isEmpty())
        addExtension(cert, issuer, NID_subject_alt_name, names.join(QLatin1Char(',')).toUtf8());
    addExtension(cert, issuer, NID_ext_key_usage, "serverAuth");
    if (!options.selfSigned)
        addExtension(cert, issuer, NID_authority_key_identifier, "keyid");
    if (X509_sign(cert, options.selfSigned ? key : m_keys->key, EVP_sha256()) == 0)
        fail("sign server certificate");
    ServerCertificate out{QDir(m_dir).filePath(name + QStringLiteral(".pem")), QDir(m_dir).filePath(name + QStringLiteral(".key")),
                          fingerprintOf(cert), keyPinOf(key)};
    writePem(out.certFile, cert, nullptr);
    writePem(out.keyFile, nullptr, key);
    X509_free(cert);
    EVP_PKEY_free(key);
    return out;
}

void TestCa::trustOnly() const
{
    qputenv("SSL_CERT_FILE", QFile::encodeName(m_certFile));
    qputenv("SSL_CERT_DIR", QFile::encodeName(QDir(m_dir).filePath(QStringLiteral("no-such-folder"))));
}

}
