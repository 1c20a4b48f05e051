#include "trap_sender.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ber/ber_codec.h"
#include "security/usm_engine.h"
#include "misbehaviour.h"
#include "udp_endpoint.h"

namespace {

// RFC 3418 sysUpTime.0 and snmpTrapOID.0, and RFC 3418 snmpTraps, under which
// the generic traps are numbered from 1 (RFC 3584 section 3.1).
const Oid kSysUpTime = {1, 3, 6, 1, 2, 1, 1, 3, 0};
const Oid kSnmpTrapOid = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
const Oid kSnmpTraps = {1, 3, 6, 1, 6, 3, 1, 1, 5};
// Version 3 traps come from this engine, booted once, its clock at 0.
const std::vector<uint8_t> kSenderEngine = {0x80, 0, 0, 0, 5, 1, 2, 3, 4, 5};

bool StartSender(const TrapOptions& options, UsmPeer& sender)
{
    UsmUser user;
    user.name = options.community;
    if (!options.authPhrase.empty()) {
        user.auth = AuthProtocol::Sha1;
        user.authPassphrase = options.authPhrase;
    }
    if (!options.privPhrase.empty()) {
        user.priv = PrivProtocol::Aes128;
        user.privPassphrase = options.privPhrase;
    }
    return UsmPeerInit(sender, std::move(user)) && UsmAdoptEngine(sender, kSenderEngine, 1, 0);
}

Oid TrapOid(const TrapOptions& options)
{
    Oid oid;
    if (options.generic >= SNMP_TRAP_COLDSTART && options.generic < SNMP_TRAP_ENTERPRISESPECIFIC) {
        oid = kSnmpTraps;
        oid.push_back(static_cast<uint32_t>(options.generic) + 1);
        return oid;
    }
    oid = options.enterprise;
    oid.push_back(0);
    oid.push_back(static_cast<uint32_t>(options.specific));
    return oid;
}

AgentObject Binding(const Oid& name, const AgentValue& value)
{
    AgentObject object;
    object.name = name;
    object.value = value;
    return object;
}

// Trap number `sequence` (1..count): its time stamp is uptime + sequence - 1.
bool EncodeTrap(const TrapOptions& options, UsmPeer& sender, uint32_t sequence,
                std::vector<uint8_t>& out)
{
    uint32_t stamp = options.uptime + sequence - 1;
    std::vector<AgentObject> bindings;
    if (options.version != SNMP_VERSION_1) {
        AgentValue ticks;
        ticks.tag = ASN_TIMETICKS;
        ticks.unsigned32 = stamp;
        AgentValue trapOid;
        trapOid.tag = ASN_OBJECTIDENTIFIER;
        trapOid.object = TrapOid(options);
        bindings.push_back(Binding(kSysUpTime, ticks));
        bindings.push_back(Binding(kSnmpTrapOid, trapOid));
    }
    for (const TrapBinding& binding : options.bindings) {
        bindings.push_back(Binding(binding.name, binding.value));
    }
    Reply carrier;
    carrier.version = SNMP_VERSION_2C;
    carrier.requestId = static_cast<int32_t>(sequence);
    carrier.bindings = bindings;
    if (options.version == SNMP_VERSION_2C) {
        return EncodeReply(carrier, options.community, PDU_TRAP_V2, out);
    }
    std::vector<SnmpVarBind> views = BindingViews(bindings);
    if (options.version == SNMP_VERSION_3) {
        SnmpPdu pdu;
        pdu.pduType = PDU_TRAP_V2;
        pdu.requestId = static_cast<int32_t>(sequence);
        pdu.bindings = {views.empty() ? nullptr : views.data(), static_cast<uint32_t>(views.size())};
        return UsmPrepare(sender, static_cast<int32_t>(sequence), pdu, out);
    }
    SnmpMessage message;
    message.version = SNMP_VERSION_1;
    message.community = options.community;
    message.pdu.pduType = PDU_TRAP_V1;
    message.pdu.enterprise.count = static_cast<uint32_t>(options.enterprise.size());
    message.pdu.enterprise.ids = const_cast<uint32_t*>(options.enterprise.data());
    std::memcpy(message.pdu.agentAddress, options.agentAddress.data(), 4);
    message.pdu.genericTrap = options.generic;
    message.pdu.specificTrap = options.specific;
    message.pdu.timeStamp = stamp;
    message.pdu.bindings.bindings = views.empty() ? nullptr : views.data();
    message.pdu.bindings.count = static_cast<uint32_t>(views.size());
    return EncodeMessage(message, out) && PatchRawTags(bindings, out);
}

}  // namespace

int SendTraps(const TrapOptions& options)
{
    std::string why;
    Endpoint to;
    if (!ParseLoopbackEndpoint(options.to, to, why)) {
        std::fprintf(stderr, "snmp-test-agent: %s\n", why.c_str());
        return 2;
    }
    int fd = BindUdp(AnyPortLike(to), why);
    if (fd < 0) {
        std::fprintf(stderr, "snmp-test-agent: %s\n", why.c_str());
        return 2;
    }
    int status = 0;
    auto send = [&](const std::vector<uint8_t>& bytes) {
        if (sendto(fd, bytes.data(), bytes.size(), 0,
                   reinterpret_cast<const sockaddr*>(&to.address), to.length) < 0) {
            std::fprintf(stderr, "snmp-test-agent: sendto: %s\n", std::strerror(errno));
            status = 2;
        }
    };
    for (uint32_t i = 0; i < options.junk && status == 0; ++i) {
        send(JunkDatagram(i + 1));
    }
    UsmPeer sender;
    if (options.version == SNMP_VERSION_3 && !StartSender(options, sender)) {
        std::fprintf(stderr, "snmp-test-agent: no version 3 keys (the cryptographic library)\n");
        status = 2;
    }
    std::vector<uint8_t> bytes;
    for (uint32_t sequence = 1; sequence <= options.count && status == 0; ++sequence) {
        if (!EncodeTrap(options, sender, sequence, bytes)) {
            std::fprintf(stderr, "snmp-test-agent: trap %u could not be encoded\n", sequence);
            status = 2;
            break;
        }
        send(bytes);
    }
    close(fd);
    return status;
}
