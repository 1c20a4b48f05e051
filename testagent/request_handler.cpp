#include "request_handler.h"

#include <algorithm>

namespace {

Oid NameOf(const SnmpVarBind& binding)
{
    return Oid(binding.name.ids, binding.name.ids + binding.name.count);
}

Reply ErrorReply(const SnmpMessage& request, int32_t status, uint32_t index)
{
    Reply reply;
    reply.version = request.version;
    reply.requestId = request.pdu.requestId;
    reply.errorStatus = status;
    reply.errorIndex = static_cast<int32_t>(index);
    reply.bindings = EchoBindings(request);
    return reply;
}

// The error of a SET for one binding, or noError. The read community may not
// write: RFC 1157 section 4.1.5 answers objects outside the write view with
// noSuchName.
int32_t SetCheck(const SnmpVarBind& binding, bool mayWrite, const ObjectStore& store)
{
    std::optional<AgentObject> object = store.Find(NameOf(binding));
    if (!mayWrite || !object) {
        return SNMP_ERROR_NOSUCHNAME;
    }
    if (!object->writable) {
        return SNMP_ERROR_READONLY;
    }
    if (object->value.tag != binding.value.tag) {
        return SNMP_ERROR_BADVALUE;
    }
    return SNMP_ERROR_NOERROR;
}

// The exception that stands for a missing object in an SNMPv2c answer.
AgentObject Exception(const Oid& name, uint8_t tag)
{
    AgentObject object;
    object.name = name;
    object.value.tag = tag;
    return object;
}

// RFC 3416 section 4.2.3: the non-repeaters' successors, then max-repetitions
// rounds of the successors of the others, each round from the last.
Reply AnswerBulk(const SnmpMessage& request, const ObjectStore& store)
{
    Reply reply;
    reply.version = request.version;
    reply.requestId = request.pdu.requestId;
    const uint32_t count = request.pdu.bindings.count;
    const uint32_t single =
        std::min<uint32_t>(static_cast<uint32_t>(std::max(request.pdu.errorStatus, 0)), count);
    const uint32_t rounds = static_cast<uint32_t>(std::max(request.pdu.errorIndex, 0));
    std::vector<Oid> names;
    for (uint32_t i = 0; i < count; ++i) {
        names.push_back(NameOf(request.pdu.bindings.bindings[i]));
    }
    auto next = [&](Oid& name) {
        std::optional<AgentObject> object = store.Next(name);
        AgentObject answered = object ? *object : Exception(name, ASN_ENDOFMIBVIEW);
        name = answered.name;
        reply.bindings.push_back(answered);
    };
    for (uint32_t i = 0; i < single; ++i) {
        next(names[i]);
    }
    for (uint32_t round = 0; round < rounds && count > single; ++round) {
        for (uint32_t i = single; i < count; ++i) {
            next(names[i]);
        }
    }
    return reply;
}

}  // namespace

const MessageCapabilities* CommunityCapabilities(int32_t version)
{
    const MessageCapabilities* capabilities = SnmpMgrVersionCapabilities(version);
    return capabilities != nullptr && !capabilities->userSecurity ? capabilities : nullptr;
}

std::vector<AgentObject> EchoBindings(const SnmpMessage& request)
{
    std::vector<AgentObject> bindings;
    for (uint32_t i = 0; i < request.pdu.bindings.count; ++i) {
        AgentObject object;
        object.name = NameOf(request.pdu.bindings.bindings[i]);
        object.value = ValueFromAsn(request.pdu.bindings.bindings[i].value);
        bindings.push_back(object);
    }
    return bindings;
}

Reply AnswerRequest(const SnmpMessage& request, ObjectStore& store, const HandlerSettings& settings)
{
    Reply reply;
    reply.version = request.version;
    reply.requestId = request.pdu.requestId;
    const SnmpVarBindList& list = request.pdu.bindings;
    if (request.pdu.pduType == PDU_SET) {
        bool mayWrite = request.community == settings.writeCommunity;
        // Every binding is checked before any is stored: a SET is all or nothing.
        for (uint32_t i = 0; i < list.count; ++i) {
            int32_t status = SetCheck(list.bindings[i], mayWrite, store);
            if (status != SNMP_ERROR_NOERROR) {
                return ErrorReply(request, status, i + 1);
            }
        }
        reply.bindings = EchoBindings(request);
        for (const AgentObject& binding : reply.bindings) {
            store.Store(binding.name, binding.value);
        }
        return reply;
    }
    if (request.pdu.pduType == PDU_GETBULK) {
        return AnswerBulk(request, store);
    }
    const bool exceptions = CommunityCapabilities(request.version)->exceptions;
    for (uint32_t i = 0; i < list.count; ++i) {
        Oid name = NameOf(list.bindings[i]);
        std::optional<AgentObject> object =
            request.pdu.pduType == PDU_GET ? store.Find(name) : store.Next(name);
        if (!object && !exceptions) {
            return ErrorReply(request, SNMP_ERROR_NOSUCHNAME, i + 1);
        }
        const uint8_t missing =
            request.pdu.pduType == PDU_GET ? ASN_NOSUCHOBJECT : ASN_ENDOFMIBVIEW;
        reply.bindings.push_back(object ? *object : Exception(name, missing));
    }
    return reply;
}

bool EncodeWithinLimit(const SnmpMessage& request, Reply& reply, const HandlerSettings& settings,
                       std::vector<uint8_t>& out)
{
    for (;;) {
        if (!EncodeReply(reply, request.community, PDU_RESPONSE, out)) {
            return false;
        }
        if (out.size() <= settings.maxSize) {
            return true;
        }
        if (request.pdu.pduType != PDU_GETBULK || reply.bindings.size() <= 1) {
            break;
        }
        reply.bindings.pop_back();
    }
    reply = ErrorReply(request, SNMP_ERROR_TOOBIG, 0);
    return EncodeReply(reply, request.community, PDU_RESPONSE, out);
}
