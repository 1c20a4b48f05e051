// The process-wide values that the tool's routines share.
#include "tool.h"

ToolSettings g_settings;
uint8_t g_toolMode = 0;
SnmpMgrSession* g_session = nullptr;

bool ShowsSnmpV2()
{
    return g_settings.version != SNMP_VERSION_1 || g_toolMode == TOOL_MODE_TRAP;
}
