// Winsock 2's headers (transport/socket_types.h picks them).
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>
// if_nametoindex, for the zone of a link-local address.
#include <iphlpapi.h>

// Winsock's resolver has no failure of its own for a failed system call.
#ifndef EAI_SYSTEM
#define EAI_SYSTEM (-11)
#endif

// The layer's interfaces carry a socket as an int: socket handles are kernel
// handles, which always fit in 32 bits.
inline SOCKET AsSocket(int socketFd)
{
    return static_cast<SOCKET>(static_cast<unsigned int>(socketFd));
}
