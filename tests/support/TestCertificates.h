#pragma once
// Certificates for the TLS tests, made by the test with OpenSSL's API: a
// certificate authority of its own and server certificates, as PEM files. A test
// trusts its authority through SSL_CERT_FILE, which OpenSSL reads in place of the
// system's trust store.
#include <QString>
#include <QStringList>

#include <memory>

namespace testsupport {

struct ServerCertificate {
    QString certFile; // the certificate (PEM)
    QString keyFile;  // its private key (PEM)
    QString fingerprint; // SHA-256, upper-case hex pairs joined by ':', as the program shows it
    QString keyPin;      // "sha256//<base64>" of its public key, as curl's --pinnedpubkey takes it
};

class TestCa {
public:
    // Writes the authority's certificate to dir/name-ca.pem.
    TestCa(const QString& dir, const QString& name = QStringLiteral("teste"));
    ~TestCa();
    TestCa(const TestCa&) = delete;
    TestCa& operator=(const TestCa&) = delete;

    QString certFile() const { return m_certFile; }

    struct Options {
        QStringList ips{QStringLiteral("127.0.0.1")};
        QStringList dnsNames{QStringLiteral("localhost")};
        int notBeforeDays = -1; // relative to now
        int notAfterDays = 30;
        bool selfSigned = false; // signed by its own key instead of the authority's
    };
    // A server certificate named name (files dir/name.pem and dir/name.key).
    ServerCertificate issue(const QString& name, const Options& options) const;
    ServerCertificate issue(const QString& name) const { return issue(name, Options{}); }

    // Points OpenSSL's trust store at this authority alone, for the program under test.
    void trustOnly() const;

private:
    struct Keys;
    std::unique_ptr<Keys> m_keys;
    QString m_dir;
    QString m_certFile;
};

}
