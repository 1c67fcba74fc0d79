#include "platform/single_instance.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/account_folders.h"

namespace velocast {

namespace {

// This account's, and nobody else may enter: the runtime folder as a login session has it.
bool privateToThisAccount(const QString& folder) {
    struct stat st {};
    return ::lstat(QFile::encodeName(folder).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

}  // namespace

QString guardFolder(QString* error) {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && privateToThisAccount(runtime)) return runtime;
    QString folder = qEnvironmentVariable("STATE_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (folder.isEmpty()) {
        const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
        const QString base =
            !cache.isEmpty() && QDir::isAbsolutePath(cache) ? cache : QDir::home().filePath(QStringLiteral(".cache"));
        folder = QDir(base).filePath(QStringLiteral("velocast"));
    }
    if (!ensurePrivateFolder(folder, error)) return QString();
    return folder;
}

}  // namespace velocast
