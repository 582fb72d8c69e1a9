#include "platform/ReceiveBuffer.h"

#include <sys/socket.h>

#include <cstdio>

namespace quillon::platform {

void EnlargeReceiveBuffer(int fd)
{
    int size = 0;
    if (std::FILE* limit = std::fopen("/proc/sys/net/core/rmem_max", "r")) {
        if (std::fscanf(limit, "%d", &size) != 1)
            size = 0;
        std::fclose(limit);
    }
    if (size > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

} // namespace quillon::platform
