#pragma once
// "Exclusão de Alunos pendêntes": empties the outbox on the server in one transaction, with no
// question asked. The figures are left alone; the next drain shows the new pending count.
#include <QList>
#include <QString>

#include "data/dialect.h"
#include "outbox/outbox.h"

namespace velocast {

class Notices;
class SharedConnection;

// The statement that empties the outbox, per dialect.
QString clearOutboxSql(Dialect dialect);

// The statement that reads the rows about to go (ID, address, subject), per dialect. On SQL
// Server it holds the table until the commit, so that the rows read are the rows removed.
QString rowsToClearSql(Dialect dialect);

// True when the outbox was emptied. On failure the transaction is rolled back, the outbox is
// as it was, and the notice "Abertura de tabela !" / "Velocast" has been shown. `removed`,
// when given, receives the rows the commit removed (ID, address and subject), so that each
// leaves a trace in the send history.
bool clearOutbox(SharedConnection& connection, Notices& notices, QList<OutboxRow>* removed = nullptr);

}  // namespace velocast
