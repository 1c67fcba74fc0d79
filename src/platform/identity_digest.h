#pragma once
// Files and names kept per club (the single-copy guard, the state database, the OAuth tokens)
// carry a digest of the club's identity: a path or a connection string may be longer than a
// file or socket name may be, and says more than a file name should.
#include <QString>

namespace velocast {

// The first `length` hex digits of the SHA-256 of `identity`: the same for the same club on
// every run, so that what one run kept the next one finds.
QString identityDigest(const QString& identity, int length);

}  // namespace velocast
