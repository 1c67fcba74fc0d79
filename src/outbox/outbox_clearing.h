#pragma once
// "Exclusão de Alunos pendêntes": empties the outbox on the server in one transaction, with no
// question asked. The figures are left alone; the next drain shows the new pending count.
#include <QString>

#include "data/dialect.h"

namespace velocast {

class Notices;
class SharedConnection;

// The statement that empties the outbox, per dialect.
QString clearOutboxSql(Dialect dialect);

// True when the outbox was emptied. On failure the transaction is rolled back, the outbox is
// as it was, and the notice "Abertura de tabela !" / "Velocast" has been shown.
bool clearOutbox(SharedConnection& connection, Notices& notices);

}  // namespace velocast
