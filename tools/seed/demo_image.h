#pragma once
// The birthday campaign's attachment: a small real PNG image, so the demo's outbox rows point
// at a file that exists and the sender has something to attach.
#include <QByteArray>
#include <QString>

namespace velocast::seed {

// A 96 x 96 picture of a balloon, encoded as PNG.
QByteArray birthdayPng();

// Writes birthdayPng() to path, creating the folder. False with *error on failure.
bool writeBirthdayPng(const QString& path, QString* error);

}  // namespace velocast::seed
