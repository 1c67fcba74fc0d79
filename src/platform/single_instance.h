#pragma once
// One copy of the program per database on this account: two copies on one database would
// send every message twice. The first copy holds a local server whose name says which
// program and which database it is; a later copy finds it, asks it to bring its window
// forward, and ends before it touches the database. Copies on another database (another
// club) have another name and run side by side. Copies of other accounts or machines are
// kept apart by the database lock.
#include <QLocalServer>
#include <QObject>
#include <QString>

namespace velocast {

// The program's identity as the executable's file name gives it: without its folder, cut at
// the first full stop, the first character kept, the rest in lower case. Copies started from
// executables of another file name are other programs.
QString programIdentity(const QString& executablePath);

// The guard's name: the program's identity and a digest of the database's (a file path can
// be longer than a socket name may be), made safe for a socket name.
QString instanceName(const QString& identity, const QString& databaseIdentity);

// Where the guard lives: a folder of this account's with mode 0700, never a shared one, so
// that nobody else can hold or fake the name. $XDG_RUNTIME_DIR when it is this account's and
// private; else the service manager's state directory ($STATE_DIRECTORY); else
// $XDG_CACHE_HOME/velocast (~/.cache/velocast); on Windows %LOCALAPPDATA%\Velocast. Empty with
// `error` saying what to change.
QString guardFolder(QString* error);

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome { First, AnotherRuns, Failed };

    // `folder` (see guardFolder) holds the socket, its lock file and the holder's process id.
    SingleInstance(QString name, QString folder, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the name or finds the copy that holds it, atomically: of copies started at the
    // same moment exactly one gets First. AnotherRuns: that copy was asked to come forward.
    // Failed: `error` says why.
    Outcome acquire(QString* error);
    // Gives the name up (at the end, so that the next start does not find a stale name).
    void release();

    QString serverPath() const;
    // After AnotherRuns: the process id of the copy that runs, 0 when it cannot be told.
    qint64 runningProcessId() const;

signals:
    // A later copy asked this one to show its window.
    void raiseRequested();

private:
    void onNewConnection();
    Outcome listening();
    bool askRunningCopy(QString* error) const;
    QString processIdPath() const;

    QString name_;
    QString folder_;
    QLocalServer server_;
};

}  // namespace velocast
