// Received traps in the fields of an SNMPv1 Trap-PDU; SNMPv2 traps are
// translated as RFC 3584 section 3.2 lays out.
#include "traps/trap_translation.h"

#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "message/message_model.h"

namespace {

// Identifiers of RFC 3418 (SNMPv2-MIB) and RFC 3584 (SNMP-COMMUNITY-MIB).
constexpr uint32_t kSysUpTime0[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
constexpr uint32_t kSnmpTrapOid0[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
constexpr uint32_t kSnmpTrapEnterprise0[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 3, 0};
constexpr uint32_t kSnmpTraps[] = {1, 3, 6, 1, 6, 3, 1, 1, 5};
constexpr uint32_t kSnmpTrapAddress0[] = {1, 3, 6, 1, 6, 3, 18, 1, 3, 0};

// coldStart (snmpTraps.1) to egpNeighborLoss (snmpTraps.6).
constexpr uint32_t kFirstStandardTrap = 1;
constexpr uint32_t kLastStandardTrap = 6;

constexpr uint32_t kIpAddressLength = 4;

// Beside each block: SnmpUtilMemAlloc's size header and the C allocator's own.
constexpr size_t kBlockOverhead = 32;

size_t BlockBytes(size_t payload)
{
    return payload + kBlockOverhead;
}

size_t OidBytes(const AsnObjectIdentifier& oid)
{
    return oid.ids == nullptr ? 0 : BlockBytes(size_t{oid.count} * sizeof(uint32_t));
}

size_t ValueBytes(const AsnAny& value)
{
    if (value.tag == ASN_OBJECTIDENTIFIER) {
        return OidBytes(value.data.object);
    }
    if (AsnTagHoldsBytes(value.tag) && value.data.bytes.dynamic &&
        value.data.bytes.stream != nullptr) {
        return BlockBytes(value.data.bytes.length);
    }
    return 0;
}

template <size_t N> bool HasPrefix(const AsnObjectIdentifier& oid, const uint32_t (&prefix)[N])
{
    return oid.count >= N && std::memcmp(oid.ids, prefix, sizeof(prefix)) == 0;
}

template <size_t N> bool Is(const AsnObjectIdentifier& oid, const uint32_t (&expected)[N])
{
    return oid.count == N && HasPrefix(oid, expected);
}

// The value of the first binding named `name` with the tag `tag`, or null.
template <size_t N>
const AsnAny* FindValue(const SnmpVarBindList& list, uint32_t from, const uint32_t (&name)[N],
                        uint8_t tag)
{
    for (uint32_t i = from; i < list.count; ++i) {
        if (Is(list.bindings[i].name, name) && list.bindings[i].value.tag == tag) {
            return &list.bindings[i].value;
        }
    }
    return nullptr;
}

// A new identifier holding the first `count` sub-identifiers of `from`.
bool CopyPrefix(const uint32_t* from, uint32_t count, AsnObjectIdentifier* to)
{
    AsnObjectIdentifier view = {count, const_cast<uint32_t*>(from)};
    return SnmpUtilOidCpy(to, &view) != 0;
}

void SenderIpv4(const sockaddr* sender, socklen_t senderLength, uint8_t address[4])
{
    std::memset(address, 0, kIpAddressLength);
    if (sender == nullptr) {
        return;
    }
    if (sender->sa_family == AF_INET && static_cast<size_t>(senderLength) >= sizeof(sockaddr_in)) {
        const sockaddr_in* v4 = reinterpret_cast<const sockaddr_in*>(sender);
        std::memcpy(address, &v4->sin_addr, kIpAddressLength);
        return;
    }
    // A dual-stack socket reports IPv4 senders as ::ffff:A.B.C.D.
    if (sender->sa_family == AF_INET6 &&
        static_cast<size_t>(senderLength) >= sizeof(sockaddr_in6)) {
        const sockaddr_in6* v6 = reinterpret_cast<const sockaddr_in6*>(sender);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            std::memcpy(address, &v6->sin6_addr.s6_addr[12], kIpAddressLength);
        }
    }
}

bool FromV1(SnmpPdu& pdu, TrapRecord* trap)
{
    trap->enterprise = pdu.enterprise;
    std::memcpy(trap->agentAddress, pdu.agentAddress, kIpAddressLength);
    trap->genericTrap = pdu.genericTrap;
    trap->specificTrap = pdu.specificTrap;
    trap->timeStamp = pdu.timeStamp;
    trap->bindings = pdu.bindings;
    pdu.enterprise = {0, nullptr};
    pdu.bindings = {nullptr, 0};
    return true;
}

// RFC 3584 section 3.2, steps (1) to (6).
bool FromV2(SnmpPdu& pdu, const sockaddr* sender, socklen_t senderLength, TrapRecord* trap)
{
    SnmpVarBindList& list = pdu.bindings;
    // RFC 3416 section 4.2.6: sysUpTime.0 and snmpTrapOID.0 come first.
    if (list.count < 2 || !Is(list.bindings[0].name, kSysUpTime0) ||
        list.bindings[0].value.tag != ASN_TIMETICKS || !Is(list.bindings[1].name, kSnmpTrapOid0) ||
        list.bindings[1].value.tag != ASN_OBJECTIDENTIFIER) {
        return false;
    }
    const AsnObjectIdentifier& trapOid = list.bindings[1].value.data.object;
    if (trapOid.count < 2) {
        return false;
    }
    const uint32_t last = trapOid.ids[trapOid.count - 1];
    const bool standard = trapOid.count == std::size(kSnmpTraps) + 1 &&
                          HasPrefix(trapOid, kSnmpTraps) && last >= kFirstStandardTrap &&
                          last <= kLastStandardTrap;

    TrapRecord made = {};
    bool copied = false;
    if (standard) {
        made.genericTrap = static_cast<int32_t>(last - kFirstStandardTrap);
        made.specificTrap = 0;
        const AsnAny* enterprise = FindValue(list, 2, kSnmpTrapEnterprise0, ASN_OBJECTIDENTIFIER);
        copied = enterprise != nullptr
                     ? SnmpUtilOidCpy(&made.enterprise, &enterprise->data.object) != 0
                     : CopyPrefix(kSnmpTraps, std::size(kSnmpTraps), &made.enterprise);
    } else {
        made.genericTrap = SNMP_TRAP_ENTERPRISESPECIFIC;
        // Specific numbers above 2^31 keep their bits; they print unsigned.
        made.specificTrap = static_cast<int32_t>(last);
        uint32_t keep = trapOid.count - 1;
        // "ENTERPRISE.0.SPECIFIC" is how section 3.1 turns a v1 trap into an
        // OID; the 0 goes too. Never down to an empty enterprise.
        if (keep > 1 && trapOid.ids[keep - 1] == 0) {
            --keep;
        }
        copied = CopyPrefix(trapOid.ids, keep, &made.enterprise);
    }
    if (!copied) {
        return false;
    }

    const uint32_t keptCount = list.count - 2;
    if (keptCount > 0) {
        made.bindings.bindings =
            static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(keptCount * sizeof(SnmpVarBind)));
        if (made.bindings.bindings == nullptr) {
            SnmpUtilOidFree(&made.enterprise);
            return false;
        }
        made.bindings.count = keptCount;
    }

    // Nothing can fail from here on.
    made.timeStamp = list.bindings[0].value.data.unsigned32;
    const AsnAny* address = FindValue(list, 2, kSnmpTrapAddress0, ASN_IPADDRESS);
    if (address != nullptr && address->data.bytes.length == kIpAddressLength) {
        std::memcpy(made.agentAddress, address->data.bytes.stream, kIpAddressLength);
    } else {
        SenderIpv4(sender, senderLength, made.agentAddress);
    }
    if (keptCount > 0) {
        std::memcpy(made.bindings.bindings, list.bindings + 2, keptCount * sizeof(SnmpVarBind));
    }
    // The moved bindings now belong to the trap: free only the first two.
    list.count = 2;
    SnmpUtilVarBindListFree(&list);
    FreePdu(pdu);
    *trap = made;
    return true;
}

// The sender as text, numeric; an IPv4 sender on a dual-stack socket as IPv4.
std::string SenderText(const sockaddr* sender, socklen_t senderLength)
{
    if (sender == nullptr) {
        return std::string();
    }
    sockaddr_in mapped = {};
    if (sender->sa_family == AF_INET6 &&
        static_cast<size_t>(senderLength) >= sizeof(sockaddr_in6) &&
        IN6_IS_ADDR_V4MAPPED(&reinterpret_cast<const sockaddr_in6*>(sender)->sin6_addr)) {
        const sockaddr_in6* v6 = reinterpret_cast<const sockaddr_in6*>(sender);
        mapped.sin_family = AF_INET;
        mapped.sin_port = v6->sin6_port;
        std::memcpy(&mapped.sin_addr, &v6->sin6_addr.s6_addr[12], kIpAddressLength);
        sender = reinterpret_cast<const sockaddr*>(&mapped);
        senderLength = sizeof mapped;
    }
    char host[NI_MAXHOST] = {};
    char port[NI_MAXSERV] = {};
    if (getnameinfo(sender, senderLength, host, sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return std::string();
    }
    const bool v6 = sender->sa_family == AF_INET6;
    std::string text(v6 ? "[" : "");
    text.append(host).append(v6 ? "]:" : ":").append(port);
    return text;
}

// RFC 3584 section 3.1 (2): a generic trap is snmpTraps.(generic + 1), an
// enterprise-specific one enterprise.0.specific.
std::vector<uint32_t> V1TrapOid(const SnmpPdu& pdu)
{
    if (pdu.genericTrap >= 0 && pdu.genericTrap < SNMP_TRAP_ENTERPRISESPECIFIC) {
        std::vector<uint32_t> oid(std::begin(kSnmpTraps), std::end(kSnmpTraps));
        oid.push_back(static_cast<uint32_t>(pdu.genericTrap) + kFirstStandardTrap);
        return oid;
    }
    std::vector<uint32_t> oid;
    if (pdu.enterprise.ids != nullptr) {
        oid.assign(pdu.enterprise.ids, pdu.enterprise.ids + pdu.enterprise.count);
    }
    oid.push_back(0);
    oid.push_back(static_cast<uint32_t>(pdu.specificTrap));
    return oid;
}

}  // namespace

TrapOrigin* NewTrapOrigin(const IncomingMessage& message, const sockaddr* sender,
                          socklen_t senderLength)
{
    TrapOrigin* origin = new (std::nothrow) TrapOrigin;
    if (origin == nullptr) {
        return nullptr;
    }
    origin->sender = SenderText(sender, senderLength);
    origin->version = message.version;
    origin->inform = message.pdu.pduType == PDU_INFORM;
    origin->securityName = message.securityName;
    origin->engineId = message.engineId;
    origin->contextName = message.contextName;
    const SnmpVarBindList& list = message.pdu.bindings;
    if (message.pdu.pduType == PDU_TRAP_V1) {
        origin->trapOid = V1TrapOid(message.pdu);
    } else if (list.count >= 2 && list.bindings[1].value.tag == ASN_OBJECTIDENTIFIER &&
               list.bindings[1].value.data.object.ids != nullptr) {
        const AsnObjectIdentifier& trapOid = list.bindings[1].value.data.object;
        origin->trapOid.assign(trapOid.ids, trapOid.ids + trapOid.count);
    }
    return origin;
}

bool TrapFromPdu(SnmpPdu& pdu, const sockaddr* sender, socklen_t senderLength, TrapRecord* trap)
{
    if (pdu.pduType == PDU_TRAP_V1) {
        return FromV1(pdu, trap);
    }
    // An InformRequest carries its notification as an SNMPv2-Trap-PDU does
    // (RFC 3416 section 4.2.7).
    if (pdu.pduType == PDU_TRAP_V2 || pdu.pduType == PDU_INFORM) {
        return FromV2(pdu, sender, senderLength, trap);
    }
    return false;
}

size_t TrapRecordBytes(const TrapRecord& trap)
{
    size_t bytes = sizeof(TrapRecord) + OidBytes(trap.enterprise);
    if (trap.origin != nullptr) {
        const TrapOrigin& origin = *trap.origin;
        bytes += BlockBytes(sizeof origin) + origin.sender.capacity() +
                 origin.securityName.capacity() + origin.engineId.capacity() +
                 origin.contextName.capacity() + origin.trapOid.capacity() * sizeof(uint32_t);
    }
    if (trap.bindings.bindings != nullptr) {
        bytes += BlockBytes(size_t{trap.bindings.count} * sizeof(SnmpVarBind));
        for (uint32_t i = 0; i < trap.bindings.count; ++i) {
            bytes += OidBytes(trap.bindings.bindings[i].name) +
                     ValueBytes(trap.bindings.bindings[i].value);
        }
    }
    return bytes;
}

void FreeTrapRecord(TrapRecord* trap)
{
    SnmpUtilOidFree(&trap->enterprise);
    SnmpUtilVarBindListFree(&trap->bindings);
    delete trap->origin;
    std::memset(trap, 0, sizeof(*trap));
}
