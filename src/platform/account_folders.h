#pragma once
// Where the program keeps what it remembers between runs (the local state database, OAuth
// tokens): a folder only this account may enter.
#include <QString>

namespace velocast {

// The account's state folder, created with mode 0700 when missing: the service manager's
// state directory ($STATE_DIRECTORY) when there is one, else $XDG_STATE_HOME/velocast, else
// ~/.local/state/velocast; on Windows %LOCALAPPDATA%\Velocast, which only the account and
// the system may enter. Empty with `error` set when it cannot be created or is not private
// to this account.
QString accountStateDirectory(QString* error);

// Makes `path` a folder of this account's with mode 0700 (creating it and its parents).
// False with `error` naming the folder and what to change when it exists and belongs to
// another user or cannot be made private.
bool ensurePrivateFolder(const QString& path, QString* error);

// Creates the file at `path` (empty) or opens the one there, so that only this account may
// read it: on POSIX systems mode 0600, refused when another user owns it. False when it
// cannot be created (`notPrivate` false) or not be made private (`notPrivate` true).
bool makePrivateFile(const QString& path, bool* notPrivate);

}  // namespace velocast
