// Socket addresses and the calls on them, from the system's own headers:
// sockaddr_storage, socklen_t, AF_INET and AF_INET6, getaddrinfo, inet_pton,
// if_nametoindex.
#pragma once

#if defined(_WIN32)
#include "os/windows_headers.h"
// if_nametoindex, for the zone of a link-local address.
#include <iphlpapi.h>
// Winsock's resolver has no failure of its own for a failed system call.
#ifndef EAI_SYSTEM
#define EAI_SYSTEM (-11)
#endif
#else
#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif
