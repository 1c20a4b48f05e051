// The process-wide values that the tool's routines share.
#include "tool.h"

#include <array>

ToolSettings g_settings;
uint8_t g_toolMode = 0;
SnmpMgrSession* g_session = nullptr;
ResultContext g_result;

const MessageCapabilities& RequestCapabilities()
{
    // Asked for every row a walk prints, so each version's answer is looked
    // up once. -v stores only versions that a model serves.
    static const std::array<const MessageCapabilities*, SNMP_VERSION_3 + 1> kByVersion = {
        SnmpMgrVersionCapabilities(0), SnmpMgrVersionCapabilities(1),
        SnmpMgrVersionCapabilities(2), SnmpMgrVersionCapabilities(3)};
    return *kByVersion.at(static_cast<size_t>(g_settings.version));
}

const MessageCapabilities& PrintedCapabilities()
{
    return g_toolMode == TOOL_MODE_TRAP ? SnmpMgrTrapCapabilities() : RequestCapabilities();
}
