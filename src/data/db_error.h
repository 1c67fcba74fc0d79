#pragma once
// The one error type of the data layer: what failed, in words a club's IT person can act on.
#include <QString>
#include <stdexcept>

namespace velocast {

class DbError : public std::runtime_error {
public:
    explicit DbError(const QString& message) : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

}  // namespace velocast
