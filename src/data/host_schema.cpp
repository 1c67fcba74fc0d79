#include "data/host_schema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace velocast {
namespace {

using F = ColumnFamily;

struct TableDef {
    QString name;
    QList<ColumnDef> columns;
    // Columns the program declares when it opens the table: all of them, a subset, or none
    // for a table that is only queried.
    enum class Declared { All, Subset, None } declared;
    QStringList declaredSubset = {};
    // The column that is the primary key, for host tables keyed by a code.
    QString keyColumn = {};
};

// The eight campaigns' message settings in Qzcvar2: switch, subject, text, image path.
// Families and widths differ between campaigns, as the host system created them.
QList<ColumnDef> settingsColumns() {
    struct Campaign {
        const char* switchCol;
        F switchFamily;
        const char* subject;
        F subjectFamily;
        const char* text;
        const char* image;
        F imageFamily;
    };
    static const Campaign campaigns[] = {
        {"MARKETING_MEDICA", F::UnicodeText, "ASSUNTO_MEDICA", F::UnicodeText, "TEXTO_MEDICA",
         "ICORPO_MARKETING_MEDICA", F::AnsiText},
        {"MARKETING_FUNCIONAL", F::UnicodeText, "ASSUNTO_FUNCIONAL", F::UnicodeText, "TEXTO_FUNCIONAL",
         "ICORPO_MARKETING_FUNCIONAL", F::AnsiText},
        {"MARKETING_ANIVERSARUANETE", F::UnicodeText, "ASSUNTO_ANIVERSARIANTE", F::UnicodeText, "TEXTO_ANIVERSARIANTE",
         "ICORPO_MARKETING_ANIVERSARUANETE", F::UnicodeText},
        {"MARKETING_PLANO", F::AnsiText, "ASSUNTO_PLANO", F::AnsiText, "TEXTO_PLANO", "ICORPO_MARKETING_PLANO",
         F::UnicodeText},
        {"MARKETING_TRANCAMENTO", F::AnsiText, "ASSUNTO_TRANCAMENTO", F::AnsiText, "TEXTO_TRANCAMENTO",
         "ICORPO_MARKETING_TRANCAMENTO", F::UnicodeText},
        {"MARKETING_FIDELIDADE", F::AnsiText, "ASSUNTO_FIDELIDADE", F::AnsiText, "TEXTO_FIDELIDADE",
         "ICORPO_MARKETING_FIDELIDADE", F::UnicodeText},
        {"MARKETING_INADIMPLENTES", F::AnsiText, "ASSUNTO_INADIMPLENTES", F::AnsiText, "TEXTO_INADIMPLENTES",
         "ICORPO_MARKETING_INADIMPLENTES", F::UnicodeText},
        {"MARKETING_AUSENTES", F::AnsiText, "ASSUNTO_AUSENTES", F::AnsiText, "TEXTO_AUSENTES",
         "ICORPO_MARKETING_AUSENTES", F::UnicodeText},
    };
    QList<ColumnDef> cols;
    for (const Campaign& c : campaigns) {
        cols.append({QString::fromLatin1(c.switchCol), c.switchFamily, 3});
        cols.append({QString::fromLatin1(c.subject), c.subjectFamily, 50});
        cols.append({QString::fromLatin1(c.text), F::LongText, 0});
        cols.append({QString::fromLatin1(c.image), c.imageFamily, 500});
    }
    cols.append({QStringLiteral("TRANCAMENTO_DIAS"), F::Integer, 0});
    cols.append({QStringLiteral("FIDELIDADE_MESES"), F::Integer, 0});
    cols.append({QStringLiteral("AUSENTES_DIAS"), F::Integer, 0});
    // The SMTP account.
    cols.append({QStringLiteral("STMP_PROVEDOR"), F::UnicodeText, 40});
    cols.append({QStringLiteral("NOME_PROVEDOR"), F::UnicodeText, 40});
    cols.append({QStringLiteral("EMAIL_PROVEDOR"), F::UnicodeText, 40});
    cols.append({QStringLiteral("USERNAME"), F::UnicodeText, 40});
    cols.append({QStringLiteral("PASSWORD"), F::UnicodeText, 40});
    cols.append({QStringLiteral("IdSMTP_UseTLS"), F::AnsiText, 20});
    // Never read, but declared: the host system's two message kinds without a campaign here.
    cols.append({QStringLiteral("EMAIL"), F::UnicodeText, 3});
    cols.append({QStringLiteral("ASSUNTO_NOVO"), F::UnicodeText, 50});
    cols.append({QStringLiteral("ASSUNTO_RETORNO"), F::UnicodeText, 50});
    cols.append({QStringLiteral("MARKETING_NOVO"), F::UnicodeText, 3});
    cols.append({QStringLiteral("MARKETING_RETORNO"), F::UnicodeText, 3});
    cols.append({QStringLiteral("ICORPO_MARKETING_NOVO"), F::UnicodeText, 500});
    cols.append({QStringLiteral("ICORPO_MARKETING_RETORNO"), F::UnicodeText, 500});
    return cols;
}

const QList<TableDef>& tableDefs() {
    static const QList<TableDef> defs = [] {
        QList<TableDef> t;
        t.append({QStringLiteral("Velocast"),
                  {{"ID", F::Identity},
                   {"Email", F::UnicodeText, 40},
                   {"Assunto", F::UnicodeText, 50},
                   {"Texto", F::LongText},
                   {"IMAGEM_CORPO_MARKETING", F::UnicodeText, 500}},
                  TableDef::Declared::All});
        t.append({QStringLiteral("ControleEmail"),
                  {{"ID", F::Identity},
                   {"DATA", F::DateTime},
                   {"MEDICA", F::Flag},
                   {"FUNCIONAL", F::Flag},
                   {"ANIVERSARIANTE", F::Flag},
                   {"PLANOS_A_VENCER", F::Flag},
                   {"TRANCAMENTO", F::Flag},
                   {"FIDELIDADE", F::Flag},
                   {"INADIMPLENTES", F::Flag},
                   {"AUSENTES", F::Flag}},
                  TableDef::Declared::All});
        t.append({QStringLiteral("Qzcvar2"), settingsColumns(), TableDef::Declared::All});
        t.append({QStringLiteral("Qzcvar"),
                  {{"PRAZOAVALMED", F::SmallInt}, {"PRAZOAVALFUN", F::SmallInt}, {"FERIADOS", F::UnicodeText, 105}},
                  TableDef::Declared::All});
        t.append({QStringLiteral("Caixa"), {{"DATAABERTURA", F::DateTime}}, TableDef::Declared::All});
        // A view over ALUNOS on most club servers; a table of its own here, so tests and the
        // demo can shape it freely.
        t.append({QStringLiteral("AlunosAtivos"),
                  {{"MATRICULA", F::UnicodeText, 10},
                   {"NOME", F::UnicodeText, 35},
                   {"ENDERECO", F::UnicodeText, 45},
                   {"BAIRRO", F::UnicodeText, 15},
                   {"ESTADO", F::UnicodeText, 2},
                   {"CEP", F::UnicodeText, 9},
                   {"TELEFONE", F::UnicodeText, 14},
                   {"TELEFONECOM", F::UnicodeText, 14},
                   {"TELEFONE_CELULAR", F::UnicodeText, 14},
                   {"RADIO", F::UnicodeText, 20},
                   {"OBSERVACAO", F::UnicodeText, 40},
                   {"EMAIL", F::UnicodeText, 60},
                   {"RECEBER_EMAIL", F::UnicodeText},
                   {"DATA_TRANCAMENTO", F::DateTime},
                   {"DATA_MEDICA", F::DateTime},
                   {"DATA_FUNCIONAL", F::DateTime},
                   {"DATA_NASCIMENTO", F::DateTime},
                   {"PRAZO_TRANCAMENTO", F::DateTime},
                   {"DIAS_PRAZO_TRANCAMENTO", F::Integer},
                   {"SAIDA", F::DateTime},
                   {"PLANOS", F::UnicodeText, 2},
                   {"MODALIDADE", F::UnicodeText, 2},
                   {"BOLSISTA", F::Flag}},
                  TableDef::Declared::Subset,
                  {"MATRICULA", "MODALIDADE", "PLANOS", "SAIDA", "BOLSISTA"}});
        t.append({QStringLiteral("ALUNOS"),
                  {{"MATRICULA", F::UnicodeText, 10},
                   {"EMAIL", F::UnicodeText, 60},
                   {"RECEBER_EMAIL", F::UnicodeText},
                   {"DATA_TRANCAMENTO", F::DateTime},
                   {"REPASSE", F::UnicodeText},
                   {"BOLSISTA", F::Flag},
                   {"DIA_VENCIMENTO", F::Integer},
                   {"MODALIDADE", F::UnicodeText},
                   {"PLANOS", F::UnicodeText}},
                  TableDef::Declared::None});
        t.append({QStringLiteral("PLANOS"),
                  {{"CODIGO", F::UnicodeText, 2}, {"DESCRICAO", F::UnicodeText, 20}},
                  TableDef::Declared::None,
                  {},
                  QStringLiteral("CODIGO")});
        // MES and ANO: see ReceiptColumns; their type is chosen when the DDL is made.
        t.append({QStringLiteral("RECEB"),
                  {{"MATRICULA", F::UnicodeText, 10}, {"MES", F::UnicodeText}, {"ANO", F::UnicodeText}},
                  TableDef::Declared::None});
        t.append({QStringLiteral("MENSALIDADES"),
                  {{"CODIGO", F::UnicodeText}, {"ACESSOLIVRE", F::Integer}},
                  TableDef::Declared::None,
                  {},
                  QStringLiteral("CODIGO")});
        t.append({QStringLiteral("ENTRADASAIDA"),
                  {{"MATRICULA", F::UnicodeText},
                   {"INICIAL", F::DateTime},
                   {"FINAL", F::DateTime},
                   {"BOLSISTA", F::UnicodeText},
                   {"ANOMESI", F::UnicodeText},
                   {"ANOMESF", F::UnicodeText}},
                  TableDef::Declared::None});
        t.append({QStringLiteral("HISTORICOTRANCAMENTO"),
                  {{"MATRICULA", F::UnicodeText},
                   {"TRANCAMENTO", F::DateTime},
                   {"PRAZO", F::DateTime},
                   {"LIBERADO", F::DateTime}},
                  TableDef::Declared::None});
        t.append({QStringLiteral("ACESSO"),
                  {{"MATRICULA", F::UnicodeText}, {"DATA", F::DateTime}},
                  TableDef::Declared::None});
        return t;
    }();
    return defs;
}

const QList<ColumnDef>& runTableColumns() {
    static const QList<ColumnDef> cols = {{"MATRICULA", F::UnicodeText, 10}};
    return cols;
}

const TableDef* findTable(const QString& name) {
    for (const TableDef& def : tableDefs())
        if (def.name.compare(name, Qt::CaseInsensitive) == 0) return &def;
    return nullptr;
}

bool isRunTable(const QString& name) { return name.startsWith(kRunTablePrefix, Qt::CaseInsensitive); }

QString sqliteType(const TableDef& table, const ColumnDef& col, const HostSchemaOptions& o) {
    if (table.name == QLatin1String("RECEB") && (col.name == QLatin1String("MES") || col.name == QLatin1String("ANO")))
        return o.receipts == ReceiptColumns::Integer ? QStringLiteral("INTEGER") : QStringLiteral("TEXT");
    switch (col.family) {
    case F::Identity: return QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT");
    case F::Flag:
    case F::SmallInt:
    case F::Integer: return QStringLiteral("INTEGER");
    case F::UnicodeText:
    case F::AnsiText:
    case F::LongText:
    case F::DateTime: break;
    }
    return QStringLiteral("TEXT");
}

}  // namespace

QStringList hostTables() {
    QStringList names;
    for (const TableDef& def : tableDefs()) names.append(def.name);
    return names;
}

QStringList hostSchemaSqlite(const HostSchemaOptions& options) {
    QStringList ddl;
    for (const TableDef& def : tableDefs()) {
        QStringList cols;
        for (const ColumnDef& col : def.columns) {
            QString line = col.name + QLatin1Char(' ') + sqliteType(def, col, options);
            if (col.name == def.keyColumn) line += QStringLiteral(" PRIMARY KEY");
            cols.append(line);
        }
        ddl.append(QStringLiteral("CREATE TABLE %1 (\n  %2\n)").arg(def.name, cols.join(QStringLiteral(",\n  "))));
    }
    return ddl;
}

QStringList hostIndexesSqlite() {
    return {
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_ALUNOSATIVOS_MATRICULA ON AlunosAtivos (MATRICULA)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_ALUNOS_MATRICULA ON ALUNOS (MATRICULA)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_RECEB_MATRICULA ON RECEB (MATRICULA, ANO, MES)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_RECEB_ANO_MES ON RECEB (ANO, MES)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_ENTRADASAIDA_MATRICULA ON ENTRADASAIDA (MATRICULA, INICIAL)"),
        QStringLiteral(
            "CREATE INDEX IF NOT EXISTS IX_HISTORICOTRANCAMENTO_MATRICULA ON HISTORICOTRANCAMENTO (MATRICULA, PRAZO)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_ACESSO_MATRICULA ON ACESSO (MATRICULA, DATA)"),
    };
}

bool createHostSchema(QSqlDatabase& db, const HostSchemaOptions& options, QString* error) {
    QStringList statements = hostSchemaSqlite(options);
    if (options.indexes) statements += hostIndexesSqlite();
    if (!db.transaction()) {
        if (error) *error = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    for (const QString& sql : statements) {
        if (!query.exec(sql)) {
            if (error)
                *error = QStringLiteral("%1: %2").arg(sql.section(QLatin1Char('\n'), 0, 0), query.lastError().text());
            query.finish();
            db.rollback();
            return false;
        }
    }
    query.finish();
    if (!db.commit()) {
        if (error) *error = db.lastError().text();
        db.rollback();
        return false;
    }
    return true;
}

QList<ColumnDef> declaredColumnDefs(const QString& table) {
    if (isRunTable(table)) return runTableColumns();
    const TableDef* def = findTable(table);
    if (!def || def->declared == TableDef::Declared::None) return {};
    if (def->declared == TableDef::Declared::All) return def->columns;
    QList<ColumnDef> cols;
    for (const QString& name : def->declaredSubset)
        for (const ColumnDef& col : def->columns)
            if (col.name == name) cols.append(col);
    return cols;
}

QStringList declaredColumns(const QString& table) {
    QStringList names;
    for (const ColumnDef& col : declaredColumnDefs(table)) names.append(col.name);
    return names;
}

QList<ColumnDef> hostColumns(const QString& table) {
    if (isRunTable(table)) return runTableColumns();
    const TableDef* def = findTable(table);
    return def ? def->columns : QList<ColumnDef>{};
}

int columnWidth(const QString& table, const QString& column) {
    for (const ColumnDef& col : hostColumns(table))
        if (col.name.compare(column, Qt::CaseInsensitive) == 0) return col.width;
    return 0;
}

}  // namespace velocast
