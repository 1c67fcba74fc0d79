#pragma once
// The tray program's first start on a desktop: no data-link file where it looks. Rather than
// a box about the missing file followed by a reconnect loop that nothing can mend, one dialog
// says where it looked and lets the person pick the club's .udl file, or end.
#include <QString>
#include <functional>

namespace velocast {

struct FirstRunChoice {
    QString dataLinkPath;  // empty: the person chose to end
    QString note;          // what happened, for standard error (e.g. the copy made)
};

// `chooseFile` shows the file dialog and returns the chosen path (empty when cancelled); the
// tests give their own. When `lookedAt` is the default location, the chosen file is copied
// there (mode 0600: it holds the database password) so that the next start finds it.
FirstRunChoice askForDataLink(const QString& lookedAt, bool lookedAtIsDefault,
                              const std::function<QString()>& chooseFile = {});

}  // namespace velocast
