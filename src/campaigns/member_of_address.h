#pragma once
// The member behind an e-mail address, as the club's member table knows them: for the
// reception to find the record of an address that bounced or opted out.
#include <QString>
#include <optional>

namespace velocast {

class SharedConnection;

struct MemberRecord {
    QString number;  // MATRICULA
    QString name;    // NOME
};

// The first active member whose address is `address` (blanks and case aside). Nothing when
// no member has it, and also when the table cannot be read (a server whose member view lacks
// the name, a connection that is closed): the address alone is enough for the report.
std::optional<MemberRecord> memberOfAddress(SharedConnection& connection, const QString& address);

}  // namespace velocast
