// The socket headers of POSIX systems (transport/socket_types.h picks them).
#pragma once

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
