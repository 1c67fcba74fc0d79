#pragma once
// The three figures the sender shows while it drains the outbox.
namespace velocast {

enum class Figure {
    Sent,     // e-mails the server accepted this run
    Pending,  // rows left in the outbox
    Invalid,  // rows discarded this run for their address
};

}  // namespace velocast
