// Feeds arbitrary datagrams through the trap receiver's path: decode, then
// translate to the fields of a v1 trap, as sent over IPv4 and over IPv6.
// A translated trap must hold a 4-byte address and bindings it owns; a refused
// one leaves the message to be freed as it was.
#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>

#include "ber/ber_codec.h"
#include "traps/trap_translation.h"
#include "fuzz_require.h"

namespace {

void Translate(const uint8_t* data, size_t size, const sockaddr* sender, socklen_t length)
{
    SnmpMessage message;
    if (!DecodeMessage(data, size, message)) {
        return;
    }
    TrapRecord trap{};
    if (TrapFromPdu(message.pdu, sender, length, &trap)) {
        Require(trap.bindings.count == 0 || trap.bindings.bindings != nullptr);
        Require(trap.enterprise.count == 0 || trap.enterprise.ids != nullptr);
        Require(TrapRecordBytes(trap) >= sizeof(TrapRecord));
        FreeTrapRecord(&trap);
    }
    FreeMessage(message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_port = htons(16162);
    v4.sin_addr.s_addr = htonl(0x0A010203);
    Translate(data, size, reinterpret_cast<const sockaddr*>(&v4), sizeof v4);

    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(16162);
    v6.sin6_addr = in6addr_loopback;
    Translate(data, size, reinterpret_cast<const sockaddr*>(&v6), sizeof v6);
    return 0;
}
