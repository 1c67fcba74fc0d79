#include "report/csv_field.h"

namespace velocast {

namespace {

bool startsAFormula(const QString& value) {
    if (value.isEmpty()) return false;
    switch (value.front().unicode()) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r': return true;
    default: return false;
    }
}

}  // namespace

QString csvField(const QString& value) {
    const QString field = startsAFormula(value) ? QLatin1Char('\'') + value : value;
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n')) &&
        !field.contains(QLatin1Char('\r')))
        return field;
    return QLatin1Char('"') + QString(field).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString csvRecord(const QStringList& fields) {
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& field : fields) quoted << csvField(field);
    return quoted.join(QLatin1Char(','));
}

}  // namespace velocast
