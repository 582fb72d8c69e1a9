#pragma once

#include <string>

namespace quillon::discovery {

// How a relay's run ended.
enum class RelayEnd {
    InputClosed,  // the client went away: the normal end
    Refused,      // the client sent something a relay does not do; an ERROR frame said what
    SetupFailed,  // a port could not be bound or the output closed; `why` says which
};

// The relay's side of a remote site: says HELLO on `output`, then broadcasts on this host's LAN
// each search or set request the client sends on `input` (checked: nothing else goes out),
// answering each with SENT, and passes every reply heard on ports 4022 and 4023 back with the
// card it arrived on, until `input` closes. Cards are those platform::BroadcastInterfaces gives.
RelayEnd RunRelay(int input, int output, std::string& why);

} // namespace quillon::discovery
