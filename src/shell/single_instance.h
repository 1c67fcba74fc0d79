#pragma once
// One copy of the program per user and desktop (per user, headless): two copies on one
// database would send every message twice. The first copy holds a local server whose name
// says which program, user and desktop it is; a later copy finds it, asks it to bring its
// window forward, and ends before it touches the database.
#include <QLocalServer>
#include <QObject>
#include <QString>

namespace velocast {

// The program's identity as the executable's file name gives it: without its folder, cut at
// the first full stop, the first character kept, the rest in lower case. Copies started from
// executables of another file name are other programs.
QString programIdentity(const QString& executablePath);

// The guard's name: identity, user and desktop (the display; empty headless), made safe for
// a socket name.
QString instanceName(const QString& identity, const QString& user, const QString& display);

// The current user and desktop, as instanceName wants them.
QString currentUser();
QString currentDisplay();

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome { First, AnotherRuns, Failed };

    // `folder` holds the socket and its lock file; empty: the user's runtime folder where the
    // platform has one, else the temporary folder.
    explicit SingleInstance(QString name, QString folder = QString(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the name or finds the copy that holds it, atomically: of copies started at the
    // same moment exactly one gets First. AnotherRuns: that copy was asked to come forward.
    // Failed: `error` says why.
    Outcome acquire(QString* error);
    // Gives the name up (at the end, so that the next start does not find a stale name).
    void release();

    QString serverPath() const;

signals:
    // A later copy asked this one to show its window.
    void raiseRequested();

private:
    void onNewConnection();

    QString name_;
    QString folder_;
    QLocalServer server_;
};

}  // namespace velocast
