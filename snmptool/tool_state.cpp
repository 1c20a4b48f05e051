// The process-wide values that the tool's routines share.
#include "tool.h"

ToolSettings g_settings;
uint8_t g_toolMode = 0;
SnmpMgrSession* g_session = nullptr;
ResultContext g_result;

const MessageCapabilities& RequestCapabilities()
{
    // Asked for every row a walk prints, so the answer is kept and looked up
    // again only when the version changes; per thread, so that no lock is needed.
    thread_local const MessageCapabilities* known = nullptr;
    thread_local int32_t knownVersion = 0;
    if (known == nullptr || knownVersion != g_settings.version) {
        // -v stores only versions that a model serves.
        known = SnmpMgrVersionCapabilities(g_settings.version);
        knownVersion = g_settings.version;
    }
    return *known;
}

const MessageCapabilities& PrintedCapabilities()
{
    return g_toolMode == TOOL_MODE_TRAP ? SnmpMgrTrapCapabilities() : RequestCapabilities();
}
