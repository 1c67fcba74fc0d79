#include "campaigns/member_of_address.h"

#include <QVariantList>

#include "data/shared_connection.h"
#include "data/sql_statement.h"

namespace velocast {

std::optional<MemberRecord> memberOfAddress(SharedConnection& connection, const QString& address) {
    const QString wanted = address.trimmed().toLower();
    if (wanted.isEmpty() || !connection.isOpen()) return std::nullopt;
    try {
        // The same text in both dialects: LOWER, LTRIM and RTRIM are in each.
        const QVariantList values = firstRowOf(
            connection,
            QStringLiteral("SELECT MATRICULA, NOME FROM ALUNOSATIVOS WHERE LOWER(LTRIM(RTRIM(EMAIL))) = :address"),
            {{QStringLiteral("address"), wanted}}, 2);
        if (values.isEmpty()) return std::nullopt;
        return MemberRecord{values.at(0).toString().trimmed(), values.at(1).toString().trimmed()};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace velocast
