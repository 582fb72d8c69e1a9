#pragma once

namespace quillon::platform {

// Gives the socket as large a receive buffer as the system lets an ordinary user have
// (net.core.rmem_max), so that a burst of datagrams waits in the socket instead of being dropped.
void EnlargeReceiveBuffer(int fd);

} // namespace quillon::platform
