#pragma once
// Which club a data-link file stands for, read in one place. The single-copy guard, the local
// state database and the OAuth token file are all named from it, so that two spellings of one
// link find the same files and two clubs on one machine never share them.
#include <QString>

namespace velocast {

struct ClubIdentity {
    // The database's identity (DataLink::identity); when the file cannot be read, the file
    // itself stands for the club: "udl:" and its canonical path.
    QString text;
    // Empty when the data-link file was read; else why it could not be (the run reports it).
    QString error;
    bool readable() const { return error.isEmpty(); }
};

ClubIdentity clubIdentity(const QString& dataLinkPath);

}  // namespace velocast
