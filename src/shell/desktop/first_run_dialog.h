#pragma once
// The tray program's first start on a desktop: no data-link file where it looks, or one that
// cannot be used. Rather than a box about the file followed by a reconnect loop that nothing
// can mend, one dialog says where it looked and why, and lets the person pick the club's .udl
// file, or end. A file picked is checked before it is used or kept.
#include <QString>
#include <functional>

namespace velocast {

struct FirstRunChoice {
    QString dataLinkPath;  // empty: the person chose to end
    QString note;          // what happened, for standard error (e.g. the copy made)
};

// `chooseFile` shows the file dialog and returns the chosen path (empty when cancelled); the
// tests give their own. `problem` says why the file at `lookedAt` cannot be used; empty when
// there is none. `check` tells what is wrong with a chosen file (empty: nothing; unset: the
// file must name a database that opens, dataLinkProblem); a file it finds wrong is refused in
// the dialog, with the reason, and nothing is copied. When `lookedAt` is the default location,
// a good chosen file is copied there (mode 0600: it holds the database password) so that the
// next start finds it.
FirstRunChoice askForDataLink(const QString& lookedAt, bool lookedAtIsDefault,
                              const std::function<QString()>& chooseFile = {}, const QString& problem = {},
                              const std::function<QString(const QString&)>& check = {});

}  // namespace velocast
