#include "mail/mime/header_folding.h"

namespace velocast::mail {
namespace {

QByteArray trimEnd(QByteArray line) {
    while (!line.isEmpty() && (line.back() == ' ' || line.back() == '\t')) line.chop(1);
    return line;
}

bool hasText(QByteArrayView bytes) {
    for (char c : bytes)
        if (c != ' ' && c != '\t') return true;
    return false;
}

}  // namespace

QList<QByteArray> foldHeader(const QByteArray& field) {
    QList<QByteArray> lines;
    // The field name and the blank after its colon stay with the start of the value: a break
    // there would only leave the name alone on its line.
    qsizetype firstBreak = field.indexOf(':') + 2;
    for (QByteArray rest : field.split('\n')) {
        if (rest.endsWith('\r')) rest.chop(1);
        while (rest.size() > kFoldWidth) {
            // A blank break keeps the blank's place as the continuation's leading space, so
            // that unfolding gives back the text; a comma break is the last resort.
            qsizetype blank = -1, comma = -1;
            for (qsizetype i = std::max<qsizetype>(firstBreak, 1); i <= kFoldWidth && i < rest.size(); ++i) {
                if ((rest[i] == ' ' || rest[i] == '\t') && hasText(QByteArrayView(rest).first(i))) blank = i;
                else if (rest[i] == ',' && i < kFoldWidth) comma = i;
            }
            if (blank < 0 && comma < 0) break;
            const qsizetype cut = blank >= 0 ? blank : comma + 1;
            const qsizetype resume = blank >= 0 ? blank + 1 : comma + 1;
            lines.append(trimEnd(rest.left(cut)));
            rest = ' ' + rest.mid(resume);
            firstBreak = 1;
        }
        lines.append(trimEnd(rest));
        firstBreak = 1;
    }
    return lines;
}

}  // namespace velocast::mail
