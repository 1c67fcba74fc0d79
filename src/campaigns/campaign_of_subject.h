#pragma once
// Which campaign an outbox row came from. The outbox keeps no campaign column (the club's
// table is not ours to change), but every campaign copies its own subject from the settings
// row, so the subject names the campaign while the settings still say the same.
#include <QString>

namespace velocast {

class Dataset;

// The control flag name of the one campaign whose subject in `settings` (Qzcvar2, as cut to
// the outbox's width) is `subject`; empty when none or more than one has it, or when the
// settings cannot be read.
QString campaignOfSubject(const Dataset& settings, const QString& subject);

}  // namespace velocast
