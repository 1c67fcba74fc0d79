#include "data/odbc_bound_statement.h"

#include <QDateTime>
#include <QSqlDriver>
#include <deque>

#include "data/db_error.h"
#include "data/odbc_api.h"

namespace velocast {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the ODBC wide character must be UTF-16");

constexpr qsizetype kLongestNvarchar = 4000;

QString diagnostics(SQLSMALLINT handleType, SQLHANDLE handle) {
    QStringList texts;
    for (SQLSMALLINT record = 1;; ++record) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        const SQLRETURN r = SQLGetDiagRecW(handleType, handle, record, state, &native, message,
                                           SQLSMALLINT(std::size(message)), &length);
        if (!SQL_SUCCEEDED(r)) break;
        texts << QString::fromUtf16(reinterpret_cast<const char16_t*>(message),
                                    qMin<qsizetype>(length, std::size(message) - 1));
    }
    return texts.isEmpty() ? QStringLiteral("unknown database error") : texts.join(QLatin1Char(' '));
}

// One bound value; it must stay in place until the statement has run.
struct Bound {
    QString text;
    SQLINTEGER integer = 0;
    SQLBIGINT bigInteger = 0;
    double real = 0;
    unsigned char bit = 0;
    SQL_TIMESTAMP_STRUCT timestamp{};
    QByteArray bytes;
    SQLLEN indicator = 0;
};

class Statement {
public:
    explicit Statement(SQLHANDLE connection) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &handle_)))
            throw DbError(diagnostics(SQL_HANDLE_DBC, connection));
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, handle_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void check(SQLRETURN r) const {
        if (!SQL_SUCCEEDED(r) && r != SQL_NO_DATA) throw DbError(diagnostics(SQL_HANDLE_STMT, handle_));
    }
    SQLHSTMT handle() const { return handle_; }

private:
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
};

SQLWCHAR* wide(const QString& text) {
    return reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(reinterpret_cast<const char16_t*>(text.utf16())));
}

void bind(const Statement& statement, SQLUSMALLINT number, const QVariant& value, Bound& b) {
    const bool null = value.isNull();
    b.indicator = null ? SQL_NULL_DATA : 0;
    auto put = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER data,
                   SQLLEN capacity) {
        statement.check(SQLBindParameter(statement.handle(), number, SQL_PARAM_INPUT, cType, sqlType, size,
                                         digits, data, capacity, &b.indicator));
    };
    switch (value.typeId()) {
    case QMetaType::Bool:
        b.bit = value.toBool() ? 1 : 0;
        return put(SQL_C_BIT, SQL_BIT, 1, 0, &b.bit, 0);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        b.integer = value.toInt();
        return put(SQL_C_SLONG, SQL_INTEGER, 10, 0, &b.integer, 0);
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong: {
        // A key read from an int column may come back 64 bits wide; it goes as the int it is.
        const qlonglong v = value.toLongLong();
        if (v >= std::numeric_limits<SQLINTEGER>::min() && v <= std::numeric_limits<SQLINTEGER>::max()) {
            b.integer = SQLINTEGER(v);
            return put(SQL_C_SLONG, SQL_INTEGER, 10, 0, &b.integer, 0);
        }
        b.bigInteger = v;
        return put(SQL_C_SBIGINT, SQL_BIGINT, 19, 0, &b.bigInteger, 0);
    }
    case QMetaType::Double:
    case QMetaType::Float:
        b.real = value.toDouble();
        return put(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &b.real, 0);
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QDateTime t = value.typeId() == QMetaType::QDate ? value.toDate().startOfDay() : value.toDateTime();
        if (!null) {
            b.timestamp.year = SQLSMALLINT(t.date().year());
            b.timestamp.month = SQLUSMALLINT(t.date().month());
            b.timestamp.day = SQLUSMALLINT(t.date().day());
            b.timestamp.hour = SQLUSMALLINT(t.time().hour());
            b.timestamp.minute = SQLUSMALLINT(t.time().minute());
            b.timestamp.second = SQLUSMALLINT(t.time().second());
            b.timestamp.fraction = SQLUINTEGER(t.time().msec()) * 1000000u;
        }
        return put(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3, &b.timestamp, sizeof b.timestamp);
    }
    case QMetaType::QByteArray:
        b.bytes = value.toByteArray();
        if (!null) b.indicator = b.bytes.size();
        return put(SQL_C_BINARY, SQL_VARBINARY, SQLULEN(qMax<qsizetype>(1, b.bytes.size())), 0, b.bytes.data(),
                   b.bytes.size());
    default:
        // Text, and a NULL that carries no type of its own: Unicode.
        b.text = value.toString();
        if (!null) b.indicator = SQLLEN(b.text.size() * sizeof(SQLWCHAR));
        // NVARCHAR parameters hold at most 4000 characters; the driver would cut a longer text
        // to that without a word, so it goes as long Unicode text.
        return put(SQL_C_WCHAR, b.text.size() > kLongestNvarchar ? SQL_WLONGVARCHAR : SQL_WVARCHAR,
                   SQLULEN(qMax<qsizetype>(1, b.text.size())), 0, wide(b.text), SQLLEN(b.text.size() * sizeof(SQLWCHAR)));
    }
}

}  // namespace

void execOdbcBound(const QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    // Qt's ODBC driver hands out its connection handle (SQLHDBC) as a pointer.
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    SQLHANDLE connection = SQL_NULL_HANDLE;
    if (handle.typeId() == QMetaType::VoidStar) connection = handle.value<void*>();
    else if (qstrcmp(handle.typeName(), "SQLHANDLE") == 0) connection = *static_cast<const SQLHANDLE*>(handle.constData());
    if (db.driverName() != QLatin1String("QODBC") || connection == SQL_NULL_HANDLE)
        throw DbError(QStringLiteral("the database connection has no ODBC handle"));
    const Statement statement(connection);
    const QString text = sql;  // kept alive for the driver while the statement runs
    statement.check(SQLPrepareW(statement.handle(), wide(text), SQLINTEGER(text.size())));
    std::deque<Bound> bound(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        bind(statement, SQLUSMALLINT(i + 1), values.at(i), bound[i]);
    statement.check(SQLExecute(statement.handle()));
    // Read past every count the statement produced, so the connection is free for the next.
    while (SQL_SUCCEEDED(SQLMoreResults(statement.handle()))) {
    }
}

}  // namespace velocast
