#pragma once
// velocast --preview: who would get which e-mail on a business date, without writing or
// sending anything.
#include <QDate>
#include <QString>
#include <cstdio>

namespace velocast {

struct PreviewOptions {
    QString dataLinkPath;
    QDate date;        // invalid: the business date of the cash register
    bool all = false;  // also the campaigns switched off
    bool csv = false;  // one CSV line per recipient instead of the text listing
};

// 0 listed; 1 the database could not be read or a campaign failed (said on `err`).
int runPreview(const PreviewOptions& options, std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace velocast
