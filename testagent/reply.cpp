#include "reply.h"

#include "ber/ber_codec.h"
#include "wire_layout.h"

std::vector<SnmpVarBind> BindingViews(const std::vector<AgentObject>& bindings)
{
    std::vector<SnmpVarBind> views(bindings.size());
    for (size_t i = 0; i < bindings.size(); ++i) {
        views[i].name.count = static_cast<uint32_t>(bindings[i].name.size());
        views[i].name.ids = const_cast<uint32_t*>(bindings[i].name.data());
        views[i].value = ValueView(bindings[i].value);
    }
    return views;
}

bool PatchRawTags(const std::vector<AgentObject>& bindings, std::vector<uint8_t>& out)
{
    bool patch = false;
    for (const AgentObject& binding : bindings) {
        patch = patch || NeedsTagPatch(binding.value);
    }
    if (!patch) {
        return true;
    }
    std::vector<TlvSpan> values;
    if (!LocateBindingValues(out.data(), out.size(), values) || values.size() != bindings.size()) {
        return false;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (NeedsTagPatch(bindings[i].value)) {
            out[values[i].tagOffset] = bindings[i].value.tag;
        }
    }
    return true;
}

bool EncodeReply(const Reply& reply, const std::string& community, uint8_t pduType,
                 std::vector<uint8_t>& out)
{
    std::vector<SnmpVarBind> views = BindingViews(reply.bindings);
    SnmpMessage message;
    message.version = reply.version;
    message.community = community;
    message.pdu.pduType = pduType;
    message.pdu.requestId = reply.requestId;
    message.pdu.errorStatus = reply.errorStatus;
    message.pdu.errorIndex = reply.errorIndex;
    message.pdu.bindings.bindings = views.empty() ? nullptr : views.data();
    message.pdu.bindings.count = static_cast<uint32_t>(views.size());
    return EncodeMessage(message, out) && PatchRawTags(reply.bindings, out);
}
