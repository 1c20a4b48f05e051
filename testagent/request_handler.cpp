#include "request_handler.h"

namespace {

Oid NameOf(const SnmpVarBind& binding)
{
    return Oid(binding.name.ids, binding.name.ids + binding.name.count);
}

Reply ErrorReply(const SnmpMessage& request, int32_t status, uint32_t index)
{
    Reply reply;
    reply.requestId = request.requestId;
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

}  // namespace

std::vector<AgentObject> EchoBindings(const SnmpMessage& request)
{
    std::vector<AgentObject> bindings;
    for (uint32_t i = 0; i < request.bindings.count; ++i) {
        AgentObject object;
        object.name = NameOf(request.bindings.bindings[i]);
        object.value = ValueFromAsn(request.bindings.bindings[i].value);
        bindings.push_back(object);
    }
    return bindings;
}

Reply AnswerRequest(const SnmpMessage& request, ObjectStore& store, const HandlerSettings& settings)
{
    Reply reply;
    reply.requestId = request.requestId;
    const SnmpVarBindList& list = request.bindings;
    if (request.pduType == PDU_SET) {
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
    for (uint32_t i = 0; i < list.count; ++i) {
        Oid name = NameOf(list.bindings[i]);
        std::optional<AgentObject> object =
            request.pduType == PDU_GET ? store.Find(name) : store.Next(name);
        if (!object) {
            return ErrorReply(request, SNMP_ERROR_NOSUCHNAME, i + 1);
        }
        reply.bindings.push_back(*object);
    }
    return reply;
}

bool EncodeWithinLimit(const SnmpMessage& request, Reply& reply, const HandlerSettings& settings,
                       std::vector<uint8_t>& out)
{
    if (!EncodeReply(reply, request.community, PDU_RESPONSE, out)) {
        return false;
    }
    if (out.size() <= settings.maxSize) {
        return true;
    }
    reply = ErrorReply(request, SNMP_ERROR_TOOBIG, 0);
    return EncodeReply(reply, request.community, PDU_RESPONSE, out);
}
