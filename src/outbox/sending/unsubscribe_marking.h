#pragma once
// What the marketing campaigns' messages carry for the member's opt-out: the List-Unsubscribe
// header whose mailto link a mail program shows as an "Unsubscribe" button, and the club's
// footer text as the body's last paragraph. The service campaigns (evaluations, renewals, lock
// deadlines, overdue payments) carry neither: a member who opts out still gets them.
#include <QByteArray>
#include <QString>
#include <QStringList>

#include "mail/mime/message_composer.h"
#include "settings/settings.h"

namespace velocast {

// [unsubscribe] as velocast.conf gives it: the header switch (the footer goes whenever it is
// set), the marketing campaigns, and the footer (empty: the body as the club wrote it).
using UnsubscribeSettings = Settings::Unsubscribe;

class UnsubscribeMarking {
public:
    // `secret`: the club's opt-out key; empty, no header is made (the footer still goes).
    UnsubscribeMarking(UnsubscribeSettings settings, QByteArray secret)
        : settings_(std::move(settings)), secret_(std::move(secret)) {}

    // Whether a message of `campaign` (a control flag name; empty when not known) is
    // marketing that a member may opt out of.
    bool isMarketing(const QString& campaign) const;

    // Adds the header and the footer to a message of `campaign` when it is marketing. The
    // token names the message's first recipient (an outbox row holds one member's address);
    // without a recipient or a sender address to send the request to, no header is made.
    void mark(mail::MessageFields& fields, const QString& campaign) const;

private:
    UnsubscribeSettings settings_;
    QByteArray secret_;
};

}  // namespace velocast
