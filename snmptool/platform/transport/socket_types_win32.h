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
