#include "mail/sasl/sasl_digest_md5.h"

#include <QList>
#include <utility>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace velocast::mail {

namespace {

// key=value or key="quoted \"value\"" pairs separated by commas; keys in lower case.
struct Directives {
    QList<std::pair<QByteArray, QByteArray>> pairs;
    QList<QByteArray> values(const QByteArray& key) const {
        QList<QByteArray> found;
        for (const auto& [k, v] : pairs)
            if (k == key) found << v;
        return found;
    }
    QByteArray value(const QByteArray& key) const { return values(key).value(0); }
    bool contains(const QByteArray& key) const { return !values(key).isEmpty(); }
};

Directives parseDirectives(const QByteArray& text) {
    Directives directives;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == ',' || text[i] == '\r' || text[i] == '\n'))
            ++i;
    };
    for (skipBlanks(); i < n; skipBlanks()) {
        const qsizetype keyStart = i;
        while (i < n && text[i] != '=' && text[i] != ',') ++i;
        const QByteArray key = text.mid(keyStart, i - keyStart).trimmed().toLower();
        QByteArray value;
        if (i < n && text[i] == '=') {
            ++i;
            if (i < n && text[i] == '"') {
                for (++i; i < n && text[i] != '"'; ++i) {
                    if (text[i] == '\\' && i + 1 < n) ++i;
                    value.append(text[i]);
                }
                ++i;  // the closing quote
            } else {
                const qsizetype valueStart = i;
                while (i < n && text[i] != ',') ++i;
                value = text.mid(valueStart, i - valueStart).trimmed();
            }
        }
        directives.pairs.append({key, value});
    }
    return directives;
}

QByteArray md5(const QByteArray& data) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.constData(), data.size(), out, &length, EVP_md5(), nullptr);
    return QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(length));
}

QByteArray quoted(const QByteArray& value) {
    QByteArray escaped = value;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

QByteArray randomCnonce() {
    unsigned char bytes[16];
    RAND_bytes(bytes, sizeof bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes).toBase64(QByteArray::OmitTrailingEquals);
}

}  // namespace

SaslDigestMd5::SaslDigestMd5(QString host, QString service, std::function<QByteArray()> cnonce)
    : host_(std::move(host)), service_(std::move(service)), cnonce_(cnonce ? std::move(cnonce) : randomCnonce) {}

std::optional<QByteArray> SaslDigestMd5::answer(int step, const QByteArray& challenge, const SaslCredentials& c) {
    const auto directives = parseDirectives(challenge);
    if (step > 0 || directives.contains("rspauth")) {
        // Only the answer to our response may carry it, once, and it must be the one the
        // password gives: a server that cannot produce it is not the club's.
        rspauthWrong_ = step != 1 || expectedRspauth_.isEmpty() || directives.value("rspauth") != expectedRspauth_;
        rspauthChecked_ = !rspauthWrong_;
        return rspauthWrong_ ? std::nullopt : std::optional<QByteArray>(QByteArray());
    }
    const QByteArray nonce = directives.value("nonce");
    if (nonce.isEmpty()) return std::nullopt;  // not a digest challenge: cancel
    // Several realms may be offered; the first is the server's own. None: an empty realm.
    const QList<QByteArray> realms = directives.values("realm");
    const QByteArray realm = realms.value(0);
    const QByteArray user = saslBytes(c.userName);
    const QByteArray cnonce = cnonce_();
    const QByteArray nc = "00000001";
    const QByteArray qop = "auth";
    const QByteArray digestUri = saslBytes(service_ + QLatin1Char('/') + host_);

    const QByteArray a1 = md5(user + ':' + realm + ':' + saslBytes(c.password)) + ':' + nonce + ':' + cnonce;
    const QByteArray a2 = "AUTHENTICATE:" + digestUri;
    const auto digest = [&](const QByteArray& a2) {
        return md5(md5(a1).toHex() + ':' + nonce + ':' + nc + ':' + cnonce + ':' + qop + ':' + md5(a2).toHex()).toHex();
    };
    const QByteArray response = digest(a2);
    // The server's proof: the same digest with A2 = ":" digest-uri.
    expectedRspauth_ = digest(':' + digestUri);

    QByteArray out;
    if (directives.value("charset").toLower() == "utf-8") out += "charset=utf-8,";
    out += "username=" + quoted(user);
    if (!realms.isEmpty()) out += ",realm=" + quoted(realm);
    out += ",nonce=" + quoted(nonce) + ",nc=" + nc + ",cnonce=" + quoted(cnonce) + ",digest-uri=" + quoted(digestUri) +
           ",response=" + response + ",qop=" + qop;
    return out;
}

QString SaslDigestMd5::problem() const {
    if (rspauthWrong_)
        return QStringLiteral(
            "DIGEST-MD5: the server's rspauth does not match the password; it may not be the "
            "club's server, so the exchange was cancelled.");
    if (!rspauthChecked_)
        return QStringLiteral(
            "DIGEST-MD5: the server announced success without its rspauth, so it did not prove "
            "that it knows the password; nothing was sent.");
    return {};
}

}  // namespace velocast::mail
