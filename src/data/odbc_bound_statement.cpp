#include "data/odbc_bound_statement.h"

#include <QDateTime>
#include <QSqlDriver>
#include <algorithm>
#include <deque>
#include <vector>

#include "data/db_error.h"
#include "data/odbc_api.h"

namespace velocast {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the ODBC wide character must be UTF-16");

constexpr qsizetype kLongestNvarchar = 4000;
// The most characters an NVARCHAR(MAX) holds.
constexpr SQLULEN kLongestText = 0x3FFFFFFF;

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
    std::vector<char16_t> wideText;  // grows, never moves while it is large enough
    SQLLEN indicator = 0;
    bool bound = false;  // its buffer is bound: new values only change the buffer
};

// A statement handle, freed with its object.
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

// The declared length of a text value: its column's, so that every run of a statement declares
// the same; a value longer than its column keeps its own length (the server then refuses it
// rather than the driver cutting it). 0 stands for NVARCHAR(MAX).
SQLULEN declaredTextLength(qsizetype length, int width) {
    if (width == kLongTextWidth) return 0;
    if (width > 0) return SQLULEN(qMax<qsizetype>(width, length));
    return length > kLongestNvarchar ? 0 : SQLULEN(kLongestNvarchar);
}

// How a value travels, by its type (a 64-bit integer that fits goes as the int it is: a key
// read from an int column may come back 64 bits wide).
enum class Kind { Bit, Integer, BigInteger, Real, Timestamp, Bytes, Text };

Kind kindOf(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool: return Kind::Bit;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar: return Kind::Integer;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong: {
        const qlonglong v = value.toLongLong();
        return v >= std::numeric_limits<SQLINTEGER>::min() && v <= std::numeric_limits<SQLINTEGER>::max()
                   ? Kind::Integer
                   : Kind::BigInteger;
    }
    case QMetaType::Double:
    case QMetaType::Float: return Kind::Real;
    case QMetaType::QDate:
    case QMetaType::QDateTime: return Kind::Timestamp;
    case QMetaType::QByteArray: return Kind::Bytes;
    default: return Kind::Text;  // text, and a NULL that carries no type of its own
    }
}

// What a value is declared as; a statement is prepared once per declaration.
QString declarationOf(const QVariant& value, int width) {
    const Kind kind = kindOf(value);
    if (kind != Kind::Text) return QString::number(int(kind));
    return QStringLiteral("n%1").arg(declaredTextLength(value.toString().size(), width));
}

void bind(const Statement& statement, SQLUSMALLINT number, const QVariant& value, int width, Bound& b) {
    const bool null = value.isNull();
    b.indicator = null ? SQL_NULL_DATA : 0;
    // A statement whose parameters are bound again is prepared again by the driver: each is
    // bound once, to a buffer of its own that later runs only fill.
    auto put = [&](SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits, SQLPOINTER data,
                   SQLLEN capacity, bool moved = false) {
        if (b.bound && !moved) return;
        statement.check(SQLBindParameter(statement.handle(), number, SQL_PARAM_INPUT, cType, sqlType, size, digits,
                                         data, capacity, &b.indicator));
        b.bound = true;
    };
    switch (kindOf(value)) {
    case Kind::Bit: b.bit = value.toBool() ? 1 : 0; return put(SQL_C_BIT, SQL_BIT, 1, 0, &b.bit, 0);
    case Kind::Integer:
        b.integer = SQLINTEGER(value.toLongLong());
        return put(SQL_C_SLONG, SQL_INTEGER, 10, 0, &b.integer, 0);
    case Kind::BigInteger:
        b.bigInteger = value.toLongLong();
        return put(SQL_C_SBIGINT, SQL_BIGINT, 19, 0, &b.bigInteger, 0);
    case Kind::Real: b.real = value.toDouble(); return put(SQL_C_DOUBLE, SQL_DOUBLE, 15, 0, &b.real, 0);
    case Kind::Timestamp: {
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
    case Kind::Bytes:
        b.bytes = value.toByteArray();
        if (!null) b.indicator = b.bytes.size();
        return put(SQL_C_BINARY, SQL_VARBINARY, SQLULEN(qMax<qsizetype>(1, b.bytes.size())), 0, b.bytes.data(),
                   b.bytes.size(), true);
    case Kind::Text: {
        const QString text = value.toString();
        if (!null) b.indicator = SQLLEN(text.size() * sizeof(SQLWCHAR));
        // NVARCHAR parameters hold at most 4000 characters; the driver would cut a longer text
        // to that without a word, so it goes as long Unicode text.
        const SQLULEN declared = declaredTextLength(text.size(), width);
        if (declared == 0) {
            // Long text has no length to bind a buffer for once and for all, and a buffer bound
            // again for a longer text makes the driver prepare the statement again: it is
            // handed over at each run instead (SQLPutData), the binding only naming it.
            b.wideText.assign(text.utf16(), text.utf16() + text.size());
            if (!null) b.indicator = SQL_DATA_AT_EXEC;
            return put(SQL_C_WCHAR, SQL_WLONGVARCHAR, kLongestText, 0, &b, 0);
        }
        const bool grows = size_t(text.size()) > b.wideText.size() || b.wideText.empty();
        if (grows) b.wideText.resize(std::max<size_t>({size_t(text.size()), size_t(declared), 1}));
        std::copy(text.utf16(), text.utf16() + text.size(), b.wideText.begin());
        return put(SQL_C_WCHAR, declared == 0 ? SQL_WLONGVARCHAR : SQL_WVARCHAR,
                   declared == 0 ? SQLULEN(b.wideText.size()) : declared, 0,
                   reinterpret_cast<SQLWCHAR*>(b.wideText.data()), SQLLEN(b.wideText.size() * sizeof(SQLWCHAR)), grows);
    }
    }
}

SQLHANDLE odbcConnection(const QSqlDatabase& db) { return odbcConnectionHandle(db); }

// Hands over the long texts a run asks for (SQLPutData) and throws DbError when the run
// failed; `executed` is what SQLExecute or SQLExecDirect answered.
void finishRun(const Statement& statement, SQLRETURN executed) {
    bool handingOver = false;
    while (executed == SQL_NEED_DATA) {
        handingOver = true;
        SQLPOINTER token = nullptr;
        executed = SQLParamData(statement.handle(), &token);
        if (executed != SQL_NEED_DATA) break;
        Bound& b = *static_cast<Bound*>(token);
        static char16_t nothing = 0;
        const SQLRETURN put = SQLPutData(statement.handle(), b.wideText.empty() ? &nothing : b.wideText.data(),
                                         SQLLEN(b.wideText.size() * sizeof(SQLWCHAR)));
        if (!SQL_SUCCEEDED(put)) executed = put;
    }
    if (!SQL_SUCCEEDED(executed) && executed != SQL_NO_DATA) {
        const QString error = diagnostics(SQL_HANDLE_STMT, statement.handle());
        if (handingOver) SQLCancel(statement.handle());  // leaves the hand-over unfinished
        SQLFreeStmt(statement.handle(), SQL_CLOSE);
        throw DbError(error);
    }
}

}  // namespace

QString odbcDiagnostics(short handleType, void* handle) { return diagnostics(handleType, handle); }

void* odbcConnectionHandle(const QSqlDatabase& db) {
    // Qt's ODBC driver hands out its connection handle (SQLHDBC) as a pointer.
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    SQLHANDLE connection = SQL_NULL_HANDLE;
    if (handle.typeId() == QMetaType::VoidStar) connection = handle.value<void*>();
    else if (qstrcmp(handle.typeName(), "SQLHANDLE") == 0)
        connection = *static_cast<const SQLHANDLE*>(handle.constData());
    if (db.driverName() != QLatin1String("QODBC") || connection == SQL_NULL_HANDLE)
        throw DbError(QStringLiteral("the database connection has no ODBC handle"));
    return connection;
}

struct OdbcStatements::Prepared {
    explicit Prepared(SQLHANDLE connection, const QString& sql) : statement(connection), text(sql) {
        statement.check(SQLPrepareW(statement.handle(), wide(text), SQLINTEGER(text.size())));
    }
    Statement statement;
    QString text;             // kept alive for the driver while the statement is prepared
    std::deque<Bound> bound;  // the values' buffers, bound once
};

OdbcStatements::OdbcStatements() = default;
OdbcStatements::~OdbcStatements() = default;

void OdbcStatements::clear() { prepared_.clear(); }

OdbcStatements::Prepared& OdbcStatements::run(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
                                              const QList<int>& textWidths) {
    const SQLHANDLE connection = odbcConnection(db);
    const auto widthOf = [&](qsizetype i) { return i < textWidths.size() ? textWidths.at(i) : kUndeclaredWidth; };
    QString key = sql;
    for (qsizetype i = 0; i < values.size(); ++i) key += QLatin1Char('\x1f') + declarationOf(values.at(i), widthOf(i));
    std::shared_ptr<Prepared>& prepared = prepared_[key];
    if (!prepared) {
        try {
            prepared = std::make_shared<Prepared>(connection, sql);
        } catch (...) {
            prepared_.remove(key);
            throw;
        }
    }
    const Statement& statement = prepared->statement;
    std::deque<Bound>& bound = prepared->bound;
    bound.resize(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        bind(statement, SQLUSMALLINT(i + 1), values.at(i), widthOf(i), bound[i]);
    finishRun(statement, SQLExecute(statement.handle()));
    return *prepared;
}

void OdbcStatements::execOnce(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
                              const QList<int>& textWidths) {
    const Statement statement(odbcConnection(db));
    std::deque<Bound> bound(size_t(values.size()));
    for (qsizetype i = 0; i < values.size(); ++i)
        bind(statement, SQLUSMALLINT(i + 1), values.at(i), i < textWidths.size() ? textWidths.at(i) : kUndeclaredWidth,
             bound[size_t(i)]);
    QString text = sql;  // kept alive while the statement runs
    finishRun(statement, SQLExecDirectW(statement.handle(), wide(text), SQLINTEGER(text.size())));
    while (SQL_SUCCEEDED(SQLMoreResults(statement.handle()))) {}
    SQLFreeStmt(statement.handle(), SQL_CLOSE);
}

void OdbcStatements::exec(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
                          const QList<int>& textWidths) {
    const Statement& statement = run(db, sql, values, textWidths).statement;
    // Read past every count the statement produced, so the connection is free for the next.
    while (SQL_SUCCEEDED(SQLMoreResults(statement.handle()))) {}
    SQLFreeStmt(statement.handle(), SQL_CLOSE);
}

namespace {

// One column of the current row: integers as numbers, anything else as text read in pieces.
QVariant columnValue(const Statement& statement, SQLUSMALLINT column) {
    SQLSMALLINT type = 0, digits = 0, nullable = 0, nameLength = 0;
    SQLULEN size = 0;
    SQLWCHAR name[2];
    statement.check(
        SQLDescribeColW(statement.handle(), column, name, 1, &nameLength, &type, &size, &digits, &nullable));
    SQLLEN indicator = 0;
    if (type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_TINYINT || type == SQL_BIGINT) {
        SQLBIGINT value = 0;
        statement.check(SQLGetData(statement.handle(), column, SQL_C_SBIGINT, &value, 0, &indicator));
        if (indicator == SQL_NULL_DATA) return QVariant();
        return type == SQL_BIGINT ? QVariant(qlonglong(value)) : QVariant(int(value));
    }
    QString text;
    char16_t chunk[2048];
    for (;;) {
        const SQLRETURN r = SQLGetData(statement.handle(), column, SQL_C_WCHAR, chunk, sizeof chunk, &indicator);
        if (r == SQL_NO_DATA) break;
        statement.check(r);
        if (indicator == SQL_NULL_DATA) return QVariant(QMetaType::fromType<QString>());
        const qsizetype available = indicator == SQL_NO_TOTAL || indicator >= SQLLEN(sizeof chunk)
                                        ? qsizetype(std::size(chunk)) - 1
                                        : qsizetype(indicator / sizeof(char16_t));
        text.append(QStringView(chunk, available));
        if (r == SQL_SUCCESS) break;  // the last piece
    }
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

}  // namespace

QList<QVariantList> OdbcStatements::rows(const QSqlDatabase& db, const QString& sql, const QVariantList& values,
                                         int columns) {
    const Statement& statement = run(db, sql, values, {}).statement;
    QList<QVariantList> result;
    try {
        for (SQLRETURN r = SQLFetch(statement.handle()); r != SQL_NO_DATA; r = SQLFetch(statement.handle())) {
            statement.check(r);
            QVariantList row;
            for (int c = 1; c <= columns; ++c) row << columnValue(statement, SQLUSMALLINT(c));
            result << row;
        }
        while (SQL_SUCCEEDED(SQLMoreResults(statement.handle()))) {}
    } catch (...) {
        SQLFreeStmt(statement.handle(), SQL_CLOSE);
        throw;
    }
    SQLFreeStmt(statement.handle(), SQL_CLOSE);
    return result;
}

QList<qlonglong> OdbcStatements::integers(const QSqlDatabase& db, const QString& sql, const QVariantList& values) {
    const Statement& statement = run(db, sql, values, {}).statement;
    QList<qlonglong> result;
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    try {
        statement.check(SQLBindCol(statement.handle(), 1, SQL_C_SBIGINT, &value, 0, &indicator));
        // Every row is read, so that the driver has no answer left to cancel.
        for (SQLRETURN r = SQLFetch(statement.handle()); r != SQL_NO_DATA; r = SQLFetch(statement.handle())) {
            statement.check(r);
            if (indicator != SQL_NULL_DATA) result << value;
        }
        while (SQL_SUCCEEDED(SQLMoreResults(statement.handle()))) {}
    } catch (...) {
        SQLFreeStmt(statement.handle(), SQL_CLOSE);
        SQLFreeStmt(statement.handle(), SQL_UNBIND);
        throw;
    }
    SQLFreeStmt(statement.handle(), SQL_CLOSE);
    SQLFreeStmt(statement.handle(), SQL_UNBIND);
    return result;
}

}  // namespace velocast
