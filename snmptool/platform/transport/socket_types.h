// Socket addresses and the calls on them, from the system's own headers:
// sockaddr_storage, socklen_t, AF_INET and AF_INET6, getaddrinfo, inet_pton,
// if_nametoindex.
#pragma once

#if defined(_WIN32)
#include "transport/socket_types_win32.h"
#else
#include "transport/socket_types_posix.h"
#endif
