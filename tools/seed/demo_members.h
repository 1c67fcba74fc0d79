#pragma once
// The demo club's members: who they are and what the host system holds about them (payments,
// membership periods, locks, visits). Every member is made for one business date, so that each
// campaign finds recipients on that date whatever the date is, and so that for each of a
// campaign's rules some members meet every other condition but are left out by that rule.
//
// Members come in a repeating cycle of roles: first the roles that a campaign selects, then the
// roles that one rule excludes, then ordinary members. The role is written into OBSERVACAO, so
// whoever looks at the demo data sees why a member got (or did not get) a message.
#include <QDate>
#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>

namespace velocast::seed {

// The settings the demo writes into Qzcvar and Qzcvar2, which the member roles depend on.
struct DemoSettings {
    int prazoAvalMed = 6;     // months between medical evaluations
    int prazoAvalFun = 3;     // months between functional evaluations
    int trancamentoDias = 5;  // lock deadline warning, days before
    int fidelidadeMeses = 3;  // loyalty: months paid in a row
    int ausentesDias = 7;     // absentees: days since the last visit
};

// A point in time; a null date means SQL NULL.
struct Stamp {
    QDate date;
    int seconds = 0;  // time of day
    bool isNull() const { return !date.isValid(); }
};

struct Period {  // ENTRADASAIDA
    Stamp inicial, final_;
    QString bolsista, anoMesI, anoMesF;
};

struct LockRecord {  // HISTORICOTRANCAMENTO
    Stamp trancamento, prazo, liberado;
};

struct Member {
    QString matricula, nome, endereco, bairro, estado, cep, telefone, telefoneCom, celular, radio, observacao;
    QString email;         // null QString for NULL, "" for empty
    QString receberEmail;  // "Sim" or "Não"
    Stamp dataTrancamento, dataMedica, dataFuncional, dataNascimento, prazoTrancamento, saida;
    QVariant diasPrazoTrancamento;  // int or null
    QString planos, modalidade;     // null QString for NULL
    int bolsista = 0;
    QString repasse;         // ALUNOS only
    int diaVencimento = 10;  // ALUNOS only
    // Months paid, relative to the business month: bit (offset + kPaidBack) for offsets
    // -kPaidBack .. +1. The business month is offset 0.
    quint32 paid = 0;
    bool paidCurrentTwice = false;  // a second receipt for the business month
    QList<Period> periods;
    QList<LockRecord> locks;
    QList<Stamp> visits;
};

inline constexpr int kPaidBack = 6;

// Member number index (0-based) of a demo database for the given business date and seed.
Member makeMember(std::uint64_t seed, int index, const QDate& businessDate, const DemoSettings& settings);

// The number of roles in one cycle: a database with at least this many members holds every
// role; with fewer, it holds the first roles (those every campaign selects come first).
int roleCycleLength();

QString formatStamp(const Stamp& stamp);  // 'YYYY-MM-DD HH:MM:SS'

}  // namespace velocast::seed
