#include "seed/demo_members.h"

#include "seed/demo_random.h"

#include <QStringList>

#include <cstdio>
#include <iterator>

namespace velocast::seed {
namespace {

// What a member is there to show. The first group is selected by a campaign on the business
// date; each member of the second group meets every condition of one campaign but one.
enum class Role {
    // Selected.
    EvalDue,
    BirthdayToday,
    PlanToRenew,
    LockEnding,
    Loyal,
    OverdueModality,
    OverduePlan,
    AbsentMorning,
    BirthdayLocked,
    LoyalEmptyPlan,
    LoyalEmptyEmail,
    AbsentEvening,
    AbsentEmptyEmail,
    // Left out by one rule.
    EvalNoEmail,
    EvalEmptyEmail,
    EvalNoConsent,
    EvalLocked,
    EvalNotYet,
    EvalOtherDay,
    EvalNone,
    BirthdayNoEmail,
    BirthdayEmptyEmail,
    BirthdayNoConsent,
    BirthdayOtherDay,
    PlanEmptyEmail,
    PlanNoConsent,
    PlanLocked,
    PlanLeft,
    PlanUnknownCode,
    PlanUnpaid,
    PlanRenewed,
    LockEmptyEmail,
    LockNoConsent,
    LockNotStarted,
    LockOffByOne,
    LockTimeOfDay,
    LoyalNoEmail,
    LoyalNoConsent,
    LoyalLeft,
    LoyalScholarship,
    LoyalGap,
    LoyalWithPlan,
    OverdueEmptyEmail,
    OverdueNoConsent,
    OverdueLocked,
    OverdueRepasse,
    OverdueScholarship,
    OverdueOtherDueDay,
    OverdueClosedPeriod,
    OverdueScholarshipPeriod,
    OverduePaid,
    OverdueLockAtMonthEnd,
    OverdueFreeAccess,
    AbsentNoEmail,
    AbsentNoConsent,
    AbsentLocked,
    AbsentScholarship,
    AbsentTie,
    AbsentRecent,
    AbsentNeverCame,
    Ordinary,
};

struct RoleInfo {
    Role role;
    const char* label;  // Portuguese, at most 34 characters ("demo: " goes in front)
};

// One cycle. The roles that campaigns select come first, the commonest twice, so that even a
// small database gives every campaign several recipients.
const RoleInfo kCycle[] = {
    {Role::EvalDue, "avaliações vencidas"},
    {Role::BirthdayToday, "aniversário hoje"},
    {Role::PlanToRenew, "plano a renovar"},
    {Role::LockEnding, "trancamento terminando"},
    {Role::Loyal, "fiel, sem plano"},
    {Role::OverdueModality, "mensalidade em atraso"},
    {Role::OverduePlan, "plano em atraso"},
    {Role::AbsentMorning, "ausente há 7 dias"},
    {Role::EvalDue, "avaliações vencidas"},
    {Role::PlanToRenew, "plano a renovar"},
    {Role::LockEnding, "trancamento terminando"},
    {Role::BirthdayLocked, "aniversário hoje, trancado"},
    {Role::LoyalEmptyPlan, "fiel, plano vazio"},
    {Role::LoyalEmptyEmail, "fiel, e-mail vazio"},
    {Role::AbsentEvening, "ausente há 7 dias (noite)"},
    {Role::AbsentEmptyEmail, "ausente, e-mail vazio"},
    {Role::EvalNoEmail, "avaliação vencida, sem e-mail"},
    {Role::EvalEmptyEmail, "avaliação vencida, e-mail vazio"},
    {Role::EvalNoConsent, "avaliação vencida, sem aceite"},
    {Role::EvalLocked, "avaliação vencida, trancado"},
    {Role::EvalNotYet, "avaliação ainda no prazo"},
    {Role::EvalOtherDay, "avaliação vencida, outro dia"},
    {Role::EvalNone, "sem avaliação"},
    {Role::BirthdayNoEmail, "aniversário, sem e-mail"},
    {Role::BirthdayEmptyEmail, "aniversário, e-mail vazio"},
    {Role::BirthdayNoConsent, "aniversário, sem aceite"},
    {Role::BirthdayOtherDay, "aniversário amanhã"},
    {Role::PlanEmptyEmail, "plano a renovar, e-mail vazio"},
    {Role::PlanNoConsent, "plano a renovar, sem aceite"},
    {Role::PlanLocked, "plano a renovar, trancado"},
    {Role::PlanLeft, "plano a renovar, saiu"},
    {Role::PlanUnknownCode, "plano inexistente"},
    {Role::PlanUnpaid, "plano sem pagamento do mês"},
    {Role::PlanRenewed, "plano já renovado"},
    {Role::LockEmptyEmail, "trancamento, e-mail vazio"},
    {Role::LockNoConsent, "trancamento, sem aceite"},
    {Role::LockNotStarted, "trancamento não iniciado"},
    {Role::LockOffByOne, "trancamento termina 1 dia depois"},
    {Role::LockTimeOfDay, "trancamento com hora"},
    {Role::LoyalNoEmail, "fiel, sem e-mail"},
    {Role::LoyalNoConsent, "fiel, sem aceite"},
    {Role::LoyalLeft, "fiel, saiu"},
    {Role::LoyalScholarship, "fiel, bolsista"},
    {Role::LoyalGap, "mês sem pagamento"},
    {Role::LoyalWithPlan, "fiel, com plano"},
    {Role::OverdueEmptyEmail, "atraso, e-mail vazio"},
    {Role::OverdueNoConsent, "atraso, sem aceite"},
    {Role::OverdueLocked, "atraso, trancado"},
    {Role::OverdueRepasse, "atraso, repasse"},
    {Role::OverdueScholarship, "atraso, bolsista"},
    {Role::OverdueOtherDueDay, "vencimento em outro dia"},
    {Role::OverdueClosedPeriod, "atraso, período encerrado"},
    {Role::OverdueScholarshipPeriod, "atraso, período bolsista"},
    {Role::OverduePaid, "mensalidade paga"},
    {Role::OverdueLockAtMonthEnd, "atraso, trancará no fim do mês"},
    {Role::OverdueFreeAccess, "acesso livre"},
    {Role::AbsentNoEmail, "ausente, sem e-mail"},
    {Role::AbsentNoConsent, "ausente, não aceita e-mail"},
    {Role::AbsentLocked, "ausente, trancado"},
    {Role::AbsentScholarship, "ausente, bolsista"},
    {Role::AbsentTie, "ausente há 6,5 dias"},
    {Role::AbsentRecent, "ausente há 6 dias"},
    {Role::AbsentNeverCame, "nunca veio"},
    {Role::Ordinary, "aluno"},
    {Role::Ordinary, "aluno"},
    {Role::Ordinary, "aluno"},
    {Role::Ordinary, "aluno"},
    {Role::Ordinary, "aluno"},
    {Role::Ordinary, "aluno"},
    {Role::Ordinary, "aluno"},
    {Role::Ordinary, "aluno"},
};
constexpr int kCycleLength = sizeof(kCycle) / sizeof(kCycle[0]);

bool isSelectedRole(Role r) { return r <= Role::AbsentEmptyEmail; }

// Names with the accents a Brazilian club's records carry; addresses use them folded to ASCII.
const char* const kFirstNames[] = {
    "João",    "José",     "Antônio",  "Francisco", "Carlos",    "Paulo",   "Pedro",   "Lucas",
    "Luiz",    "Marcos",   "Gabriel",  "Rafael",    "Sebastião", "André",   "Márcio",  "Fábio",
    "Thiago",  "Vinícius", "Maria",    "Ana",       "Francisca", "Antônia", "Adriana", "Juliana",
    "Márcia",  "Fernanda", "Patrícia", "Aline",     "Conceição", "Lúcia",   "Letícia", "Débora",
    "Cecília", "Beatriz",  "Luíza",    "Júlia",     "Cláudia",   "Mônica",  "Tânia",   "Inês",
};
const char* const kLastNames[] = {
    "Silva",   "Santos",  "Oliveira",  "Souza",    "Rodrigues", "Ferreira", "Alves",     "Pereira",   "Lima",
    "Gomes",   "Ribeiro", "Carvalho",  "Araújo",   "Martins",   "Rocha",    "Gonçalves", "Conceição", "Magalhães",
    "Brandão", "Simões",  "Guimarães", "Assunção", "Falcão",    "Leão",     "Mendonça",  "Romão",
};
const char* const kStreets[] = {
    "Rua das Acácias",    "Av. Paulista",         "Rua São João",     "Rua Tiradentes",
    "Av. Getúlio Vargas", "Rua Sete de Setembro", "Rua Dom Pedro II", "Alameda Santos",
    "Rua da Consolação",  "Travessa do Comércio", "Rua Açores",       "Praça da Sé",
};
const char* const kDistricts[] = {
    "Centro",  "Jardim América", "Vila Mariana", "Mooca",    "Pinheiros", "Lapa",
    "Santana", "Butantã",        "Tatuapé",      "Ipiranga", "Perdizes",  "Aclimação",
};
const char* const kStates[] = {"SP", "SP", "SP", "RJ", "MG", "PR"};
const char* const kDomains[] = {"example.com", "example.org", "example.net"};
const char* const kModalities[] = {"MU", "NA", "GI"};  // MENSALIDADES without free access
const char* const kPlans[] = {"01", "02", "03", "04"};

// Addresses that the sender's check rejects, so its invalid counter shows something.
QString invalidAddress(const QString& local, const QString& domain, int variant) {
    switch (variant % 6) {
    case 0: return local + domain;                                                                          // no "@"
    case 1: return local + QStringLiteral("@@") + domain;                                                   // two "@"
    case 2: return local + QLatin1Char('@') + QString(domain).replace(QLatin1Char('.'), QLatin1Char(','));  // comma
    case 3: return QStringLiteral("ana souza") + local.right(4) + QLatin1Char('@') + domain;                // blank
    case 4: return QString(local).replace(QLatin1Char('.'), QStringLiteral("..")) + QLatin1Char('@') + domain;  // ".."
    default: return QStringLiteral("conceição") + local.right(4) + QLatin1Char('@') + domain;
    }
}

QString asciiFold(const char* utf8) {
    const QString decomposed = QString::fromUtf8(utf8).normalized(QString::NormalizationForm_D).toLower();
    QString out;
    for (QChar c : decomposed)
        if (c.unicode() < 128 && c.isLetter()) out.append(c);
    return out;
}

struct Folded {
    QStringList first, last;
    Folded() {
        for (const char* n : kFirstNames) first.append(asciiFold(n));
        for (const char* n : kLastNames) last.append(asciiFold(n));
    }
};

const Folded& folded() {
    static const Folded f;
    return f;
}

QString yearMonth(const QDate& d) {
    return QStringLiteral("%1%2").arg(d.year(), 4, 10, QLatin1Char('0')).arg(d.month(), 2, 10, QLatin1Char('0'));
}

quint32 paidBit(int offset) { return 1u << (offset + kPaidBack); }

// Builds one member for the business date D.
class MemberMaker {
public:
    MemberMaker(DemoRandom& rng, const QDate& d, const DemoSettings& s)
        : rng_(rng), d_(d), s_(s), monthEnd_(d.year(), d.month(), d.daysInMonth()) {}

    Member ordinary(int index);
    void apply(Member& m, Role role);

private:
    Stamp at(const QDate& date, int hour = 0, int minute = 0, int second = 0) const {
        return {date, hour * 3600 + minute * 60 + second};
    }
    QDate daysAgo(int n) const { return d_.addDays(-n); }

    // The latest date k or more months before D that falls on D's day of the month.
    QDate sameDayMonthsBack(int k) const {
        QDate t = d_.addMonths(-k);
        while (t.day() != d_.day()) t = d_.addMonths(-++k);
        return t;
    }
    // The latest date at most k months back on D's day (D itself at the latest): an
    // evaluation that is not overdue yet.
    QDate sameDayWithin(int k) const {
        for (; k > 0; --k)
            if (d_.addMonths(-k).day() == d_.day()) return d_.addMonths(-k);
        return d_;
    }
    Stamp birthdayOn(const QDate& dayMonth) {
        int year = d_.year() - rng_.between(16, 70);
        while (!QDate::isValid(year, dayMonth.month(), dayMonth.day()))
            --year;  // 29 February: the nearest leap year before
        return at(QDate(year, dayMonth.month(), dayMonth.day()));
    }

    void eligible(Member& m);    // accepts e-mail, valid address, not locked, active, paying
    void lockNow(Member& m);     // a lock in course whose deadline is not a warning day
    void lockEnding(Member& m);  // a lock whose deadline is D + the warning distance
    void leave(Member& m);       // left recently, period closed
    void monthly(Member& m) {
        m.modalidade = QString::fromLatin1(rng_.pick(kModalities));
        m.planos = QString();
    }
    void onPlan(Member& m) {
        m.planos = QString::fromLatin1(rng_.pick(kPlans));
        m.modalidade = QString();
    }
    void overdue(Member& m) {
        eligible(m);
        m.diaVencimento = d_.day();
        m.paid &= ~paidBit(0);
        m.paidCurrentTwice = false;
    }
    void absentSince(Member& m, const Stamp& latest) {
        m.visits = {at(daysAgo(rng_.between(40, 90)), rng_.between(6, 21), rng_.below(60)),
                    at(daysAgo(rng_.between(15, 39)), rng_.between(6, 21), rng_.below(60)), latest};
    }

    DemoRandom& rng_;
    QDate d_;
    const DemoSettings& s_;
    QDate monthEnd_;
};

Member MemberMaker::ordinary(int index) {
    Member m;
    const int number = 1001 + index;
    m.matricula = QString::number(number);
    const int first = rng_.below(std::size(kFirstNames));
    const int last = rng_.below(std::size(kLastNames));
    const int last2 = rng_.below(std::size(kLastNames));
    m.nome = QStringLiteral("%1 %2 %3")
                 .arg(QString::fromUtf8(kFirstNames[first]), QString::fromUtf8(kLastNames[last2]),
                      QString::fromUtf8(kLastNames[last]));
    m.email =
        QStringLiteral("%1.%2%3@%4")
            .arg(folded().first[first], folded().last[last], m.matricula, QString::fromLatin1(rng_.pick(kDomains)));
    m.endereco = QStringLiteral("%1, %2").arg(QString::fromUtf8(rng_.pick(kStreets))).arg(rng_.between(1, 2999));
    m.bairro = QString::fromUtf8(rng_.pick(kDistricts));
    m.estado = QString::fromLatin1(rng_.pick(kStates));
    m.cep = QStringLiteral("%1-%2")
                .arg(rng_.between(1000, 99999), 5, 10, QLatin1Char('0'))
                .arg(rng_.below(1000), 3, 10, QLatin1Char('0'));
    m.telefone = QStringLiteral("(11) %1-%2").arg(rng_.between(2000, 5999)).arg(rng_.between(1000, 9999));
    if (rng_.percent(40))
        m.telefoneCom = QStringLiteral("(11) %1-%2").arg(rng_.between(2000, 5999)).arg(rng_.between(1000, 9999));
    m.celular = QStringLiteral("(11)9%1-%2").arg(rng_.between(1000, 9999)).arg(rng_.between(1000, 9999));
    m.receberEmail = rng_.percent(92) ? QStringLiteral("Sim") : QStringLiteral("Não");

    const QDate jan1(d_.year() - rng_.between(16, 70), 1, 1);
    m.dataNascimento = at(jan1.addDays(rng_.below(jan1.daysInYear())));
    if (rng_.percent(85)) m.dataMedica = at(daysAgo(rng_.between(1, 540)));
    if (rng_.percent(80)) m.dataFuncional = at(daysAgo(rng_.between(1, 540)));

    if (rng_.percent(55)) {
        monthly(m);
        if (rng_.percent(30)) m.planos = QStringLiteral("");  // the host system leaves an empty code, too
    } else {
        onPlan(m);
    }
    m.bolsista = rng_.percent(3) ? 1 : 0;
    m.diaVencimento = rng_.between(1, 28);

    // Membership periods: the current one, sometimes after an earlier one.
    const QDate entry = daysAgo(rng_.between(200, 3000));
    if (rng_.percent(8)) {
        const QDate oldStart = entry.addDays(-rng_.between(400, 900));
        const QDate oldEnd = entry.addDays(-rng_.between(30, 300));
        m.periods.append({at(oldStart), at(oldEnd), QStringLiteral("N"), yearMonth(oldStart), yearMonth(oldEnd)});
    }
    m.periods.append({at(entry), Stamp{}, m.bolsista ? QStringLiteral("S") : QStringLiteral("N"), yearMonth(entry),
                      yearMonth(d_.addMonths(-1))});

    // Payments of the last months, the business month and, for some, the next one.
    for (int offset = -kPaidBack; offset < 0; ++offset)
        if (rng_.percent(93)) m.paid |= paidBit(offset);
    if (rng_.percent(75)) {
        m.paid |= paidBit(0);
        m.paidCurrentTwice = rng_.percent(2);
    }
    if (rng_.percent(m.planos.isEmpty() ? 10 : 35)) m.paid |= paidBit(1);

    // An old lock, released long ago; a few members are locked now.
    if (rng_.percent(10)) {
        const QDate start = daysAgo(rng_.between(300, 900));
        const QDate deadline = start.addDays(rng_.between(30, 90));
        m.locks.append({at(start), at(deadline), at(deadline.addDays(-rng_.between(0, 10)))});
    }
    if (rng_.percent(4)) lockNow(m);

    // Visits: two older ones and the latest within the last four days.
    absentSince(m, at(daysAgo(rng_.between(1, 4)), rng_.between(6, 21), rng_.below(60)));
    return m;
}

void MemberMaker::eligible(Member& m) {
    m.receberEmail = QStringLiteral("Sim");
    m.dataTrancamento = m.prazoTrancamento = Stamp{};
    m.diasPrazoTrancamento = QVariant();
    m.locks.removeIf([](const LockRecord& l) { return l.liberado.isNull(); });
    m.bolsista = 0;
    m.saida = Stamp{};
    m.repasse = QString();
    for (Period& p : m.periods) p.bolsista = QStringLiteral("N");
}

void MemberMaker::lockNow(Member& m) {
    const QDate start = daysAgo(rng_.between(5, 60));
    QDate deadline = start.addDays(rng_.between(30, 120));
    if (deadline == d_.addDays(s_.trancamentoDias))
        deadline = deadline.addDays(1);  // not a warning day: only the lock roles warn
    m.dataTrancamento = m.prazoTrancamento = at(start);
    m.diasPrazoTrancamento = static_cast<int>(start.daysTo(deadline));
    m.locks.append({at(start), at(deadline), Stamp{}});
}

void MemberMaker::lockEnding(Member& m) {
    const int since = rng_.between(10, 60);
    const QDate start = daysAgo(since);
    m.dataTrancamento = m.prazoTrancamento = at(start);
    m.diasPrazoTrancamento = since + s_.trancamentoDias;
    m.locks.append({at(start), at(d_.addDays(s_.trancamentoDias)), Stamp{}});
}

void MemberMaker::leave(Member& m) {
    const QDate left = daysAgo(rng_.between(3, 20));
    m.saida = at(left);
    Period& p = m.periods.last();
    p.final_ = at(left);
    p.anoMesF = yearMonth(left);
}

void MemberMaker::apply(Member& m, Role role) {
    const int pm = s_.prazoAvalMed, pf = s_.prazoAvalFun;
    auto evalDue = [&] {
        eligible(m);
        m.dataMedica = at(sameDayMonthsBack(pm + 1 + rng_.below(12)));
        m.dataFuncional = at(sameDayMonthsBack(pf + 1 + rng_.below(12)));
    };
    auto birthday = [&] {
        eligible(m);
        m.dataNascimento = birthdayOn(d_);
    };
    auto planToRenew = [&] {
        eligible(m);
        onPlan(m);
        m.paid = (m.paid | paidBit(0)) & ~paidBit(1);
    };
    auto lockDue = [&] {
        eligible(m);
        lockEnding(m);
    };
    auto loyal = [&] {
        eligible(m);
        monthly(m);
        for (int k = 1; k <= s_.fidelidadeMeses && k <= kPaidBack; ++k) m.paid |= paidBit(-k);
    };
    auto overdueMonthly = [&] {
        overdue(m);
        monthly(m);
    };
    auto absentMorning = [&] {
        eligible(m);
        absentSince(m, at(daysAgo(s_.ausentesDias), rng_.between(6, 11), rng_.below(60)));
    };

    switch (role) {
    case Role::Ordinary: break;
    case Role::EvalDue: evalDue(); break;
    case Role::EvalNoEmail:
        evalDue();
        m.email = QString();
        break;
    case Role::EvalEmptyEmail:
        evalDue();
        m.email = QStringLiteral("");
        break;
    case Role::EvalNoConsent:
        evalDue();
        m.receberEmail = QStringLiteral("Não");
        break;
    case Role::EvalLocked:
        evalDue();
        lockNow(m);
        break;
    case Role::EvalNotYet:
        eligible(m);
        m.dataMedica = at(sameDayWithin(pm));
        m.dataFuncional = at(sameDayWithin(pf));
        break;
    case Role::EvalOtherDay:
        evalDue();
        m.dataMedica.date = m.dataMedica.date.addDays(-1);
        m.dataFuncional.date = m.dataFuncional.date.addDays(-1);
        break;
    case Role::EvalNone:
        eligible(m);
        m.dataMedica = m.dataFuncional = Stamp{};
        break;

    case Role::BirthdayToday: birthday(); break;
    case Role::BirthdayLocked:
        birthday();
        lockNow(m);
        break;
    case Role::BirthdayNoEmail:
        birthday();
        m.email = QString();
        break;
    case Role::BirthdayEmptyEmail:
        birthday();
        m.email = QStringLiteral("");
        break;
    case Role::BirthdayNoConsent:
        birthday();
        m.receberEmail = QStringLiteral("Não");
        break;
    case Role::BirthdayOtherDay:
        eligible(m);
        m.dataNascimento = birthdayOn(d_.addDays(1));
        break;

    case Role::PlanToRenew: planToRenew(); break;
    case Role::PlanEmptyEmail:
        planToRenew();
        m.email = QStringLiteral("");
        break;
    case Role::PlanNoConsent:
        planToRenew();
        m.receberEmail = QStringLiteral("Não");
        break;
    case Role::PlanLocked:
        planToRenew();
        lockNow(m);
        break;
    case Role::PlanLeft:
        planToRenew();
        leave(m);
        break;
    case Role::PlanUnknownCode:
        planToRenew();
        m.planos = QStringLiteral("99");
        break;
    case Role::PlanUnpaid:
        planToRenew();
        m.paid &= ~paidBit(0);
        break;
    case Role::PlanRenewed:
        planToRenew();
        m.paid |= paidBit(1);
        break;

    case Role::LockEnding: lockDue(); break;
    case Role::LockEmptyEmail:
        lockDue();
        m.email = QStringLiteral("");
        break;
    case Role::LockNoConsent:
        lockDue();
        m.receberEmail = QStringLiteral("Não");
        break;
    case Role::LockNotStarted:
        // Deadline columns filled in advance, lock not begun: no lock date, no history yet.
        eligible(m);
        m.prazoTrancamento = at(daysAgo(10));
        m.diasPrazoTrancamento = 10 + s_.trancamentoDias;
        break;
    case Role::LockOffByOne:
        lockDue();
        m.diasPrazoTrancamento = m.diasPrazoTrancamento.toInt() + 1;
        m.locks.last().prazo.date = m.locks.last().prazo.date.addDays(1);
        break;
    case Role::LockTimeOfDay:
        lockDue();
        m.prazoTrancamento.seconds = 14 * 3600;
        break;

    case Role::Loyal: loyal(); break;
    case Role::LoyalEmptyPlan:
        loyal();
        m.planos = QStringLiteral("");
        break;
    case Role::LoyalEmptyEmail:
        loyal();
        m.email = QStringLiteral("");
        break;
    case Role::LoyalNoEmail:
        loyal();
        m.email = QString();
        break;
    case Role::LoyalNoConsent:
        loyal();
        m.receberEmail = QStringLiteral("Não");
        break;
    case Role::LoyalLeft:
        loyal();
        leave(m);
        break;
    case Role::LoyalScholarship:
        loyal();
        m.bolsista = 1;
        break;
    case Role::LoyalGap:
        loyal();
        m.paid &= ~paidBit(-qMax(1, (s_.fidelidadeMeses + 1) / 2));
        break;
    case Role::LoyalWithPlan:
        loyal();
        onPlan(m);
        break;

    case Role::OverdueModality: overdueMonthly(); break;
    case Role::OverduePlan:
        overdue(m);
        onPlan(m);
        break;
    case Role::OverdueEmptyEmail:
        overdueMonthly();
        m.email = QStringLiteral("");
        break;
    case Role::OverdueNoConsent:
        overdueMonthly();
        m.receberEmail = QStringLiteral("Não");
        break;
    case Role::OverdueLocked: {
        // Locked, with a history row that ends before the month does, so that only the lock
        // date on the member keeps the notice back.
        overdueMonthly();
        const QDate start = daysAgo(rng_.between(5, 20));
        const QDate deadline = qMax(start.addDays(1), monthEnd_.addDays(-1));
        m.dataTrancamento = m.prazoTrancamento = at(start);
        m.diasPrazoTrancamento = static_cast<int>(start.daysTo(deadline));
        m.locks.append({at(start), at(deadline), Stamp{}});
        break;
    }
    case Role::OverdueRepasse:
        overdueMonthly();
        m.repasse = QStringLiteral("Convênio empresa");
        break;
    case Role::OverdueScholarship:
        overdueMonthly();
        m.bolsista = 1;
        break;
    case Role::OverdueOtherDueDay:
        overdueMonthly();
        m.diaVencimento = d_.day() % 28 + 1;
        break;
    case Role::OverdueClosedPeriod: {
        overdueMonthly();
        Period& p = m.periods.last();
        p.final_ = at(daysAgo(rng_.between(1, 10)));
        p.anoMesF = yearMonth(p.final_.date);
        break;
    }
    case Role::OverdueScholarshipPeriod:
        overdueMonthly();
        m.periods.last().bolsista = QStringLiteral("S");
        break;
    case Role::OverduePaid:
        overdueMonthly();
        m.paid |= paidBit(0);
        break;
    case Role::OverdueLockAtMonthEnd:
        // A lock booked to start on the last day of the month.
        overdueMonthly();
        m.locks.append({at(monthEnd_), at(monthEnd_.addDays(30)), Stamp{}});
        break;
    case Role::OverdueFreeAccess:
        overdueMonthly();
        m.modalidade = QStringLiteral("LV");
        m.planos = QString::fromLatin1(rng_.pick(kPlans));
        break;

    case Role::AbsentMorning: absentMorning(); break;
    case Role::AbsentEvening:
        eligible(m);
        absentSince(m, at(daysAgo(s_.ausentesDias + 1), rng_.between(13, 22), rng_.below(60)));
        break;
    case Role::AbsentNoConsent:
        absentMorning();
        m.receberEmail = QStringLiteral("Não");
        break;
    case Role::AbsentEmptyEmail:
        absentMorning();
        m.email = QStringLiteral("");
        break;
    case Role::AbsentNoEmail:
        absentMorning();
        m.email = QString();
        break;
    case Role::AbsentLocked:
        absentMorning();
        lockNow(m);
        break;
    case Role::AbsentScholarship:
        absentMorning();
        m.bolsista = 1;
        break;
    case Role::AbsentTie:
        eligible(m);
        absentSince(m, at(daysAgo(s_.ausentesDias), 12));  // exactly half a day short: rounds down
        break;
    case Role::AbsentRecent:
        eligible(m);
        absentSince(m, at(daysAgo(s_.ausentesDias), 19, 30));  // 6.19 days: rounds to 6
        break;
    case Role::AbsentNeverCame:
        eligible(m);
        m.visits.clear();
        break;
    }
}

}  // namespace

Member makeMember(std::uint64_t seed, int index, const QDate& businessDate, const DemoSettings& settings) {
    DemoRandom rng = DemoRandom::forItem(seed, static_cast<std::uint64_t>(index));
    MemberMaker maker(rng, businessDate, settings);
    Member m = maker.ordinary(index);
    const RoleInfo& info = kCycle[index % kCycleLength];
    maker.apply(m, info.role);
    m.observacao = QStringLiteral("demo: ") + QString::fromUtf8(info.label);
    // A few selected members carry an address the sender rejects.
    if (isSelectedRole(info.role) && index % 11 == 5 && !m.email.isEmpty()) {
        const qsizetype at = m.email.indexOf(QLatin1Char('@'));
        m.email = invalidAddress(m.email.left(at), m.email.mid(at + 1), index / 11 + index / kCycleLength);
    }
    return m;
}

int roleCycleLength() { return kCycleLength; }

QString formatStamp(const Stamp& s) {
    if (s.isNull()) return QString();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", s.date.year(), s.date.month(), s.date.day(),
                  s.seconds / 3600, s.seconds / 60 % 60, s.seconds % 60);
    return QString::fromLatin1(buf);
}

}  // namespace velocast::seed
