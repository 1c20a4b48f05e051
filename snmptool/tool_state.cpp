// The process-wide values that the tool's routines share.
#include "tool.h"

ToolSettings g_settings;
uint8_t g_toolMode = 0;
SnmpMgrSession* g_session = nullptr;
ResultContext g_result;

const MessageCapabilities& RequestCapabilities()
{
    // -v stores only versions that a model serves.
    return *SnmpMgrVersionCapabilities(g_settings.version);
}

const MessageCapabilities& PrintedCapabilities()
{
    return g_toolMode == TOOL_MODE_TRAP ? SnmpMgrTrapCapabilities() : RequestCapabilities();
}
