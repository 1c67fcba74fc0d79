#pragma once
// The recipient list of an e-mail from the text stored with the outbox row.
#include <QString>
#include <QStringList>

namespace velocast::mail {

// Splits `text` into addresses at "," and ";" outside double quotes and parentheses. Each
// piece, blanks removed at both ends, is a bare address or a display name followed by the
// address in "<" ">"; comments in parentheses are dropped. The result holds the addresses
// alone; empty pieces give nothing. A text without any of , ; < > ( ) " and inner blanks
// gives exactly one address: the text without its surrounding blanks.
QStringList parseRecipients(const QString& text);

}  // namespace velocast::mail
