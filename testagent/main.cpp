// snmp-test-agent: a small SNMPv1 agent and trap sender for the tests and the
// demonstration. testagent/README.md describes both modes.
#include <cstdio>
#include <string>
#include <vector>

#include "options.h"
#include "serve.h"
#include "trap_sender.h"

namespace {

constexpr int kUsageStatus = 2;

int Usage(const std::string& why)
{
    std::fprintf(stderr,
                 "snmp-test-agent: %s\n"
                 "usage: snmp-test-agent serve --listen ADDR:PORT [--objects FILE] ...\n"
                 "       snmp-test-agent trap --to ADDR:PORT ...\n"
                 "(see testagent/README.md)\n",
                 why.c_str());
    return kUsageStatus;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        return Usage("no mode given");
    }
    std::string mode = argv[1];
    std::vector<std::string> args(argv + 2, argv + argc);
    std::string why;
    if (mode == "serve") {
        ServeOptions options;
        if (!ParseServeOptions(args, options, why)) {
            return Usage(why);
        }
        return Serve(options);
    }
    if (mode == "trap") {
        TrapOptions options;
        if (!ParseTrapOptions(args, options, why)) {
            return Usage(why);
        }
        return SendTraps(options);
    }
    return Usage("unknown mode '" + mode + "'");
}
