#include "options.h"

namespace {

// Walks the words, handing out each option's values with a check that they exist.
class Words {
public:
    explicit Words(const std::vector<std::string>& args) : args_(args) {}
    bool Done() const
    {
        return next_ >= args_.size();
    }
    const std::string& Take()
    {
        return args_[next_++];
    }
    bool TakeValue(const std::string& option, std::string& value, std::string& why)
    {
        if (Done()) {
            why = option + " needs a value";
            return false;
        }
        value = Take();
        return true;
    }

private:
    const std::vector<std::string>& args_;
    size_t next_ = 0;
};

bool NumberOption(Words& words, const std::string& option, uint64_t limit, uint64_t& out,
                  std::string& why)
{
    std::string text;
    if (!words.TakeValue(option, text, why)) {
        return false;
    }
    if (!ParseDecimal(text, limit, out)) {
        why = "bad number '" + text + "' for " + option;
        return false;
    }
    return true;
}

bool OidOption(Words& words, const std::string& option, Oid& out, std::string& why)
{
    std::string text;
    if (!words.TakeValue(option, text, why)) {
        return false;
    }
    if (!ParseOid(text, out)) {
        why = "bad identifier '" + text + "' for " + option;
        return false;
    }
    return true;
}

// Hands each option word to `one`, which takes the option's values from
// `words` and returns false (with `why`) for a bad one, and sets `known` to
// false for an option it does not take.
template <class OneOption>
bool ReadOptions(const std::vector<std::string>& args, std::string& why, OneOption one)
{
    Words words(args);
    while (!words.Done()) {
        const std::string option = words.Take();
        bool known = true;
        const bool ok = one(option, words, known);
        if (!known) {
            why = "unknown option '" + option + "'";
            return false;
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseServeOptions(const std::vector<std::string>& args, ServeOptions& options,
                       std::string& why)
{
    return ReadOptions(args, why, [&](const std::string& option, Words& words, bool& known) {
        std::string value;
        uint64_t number = 0;
        bool ok = true;
        if (option == "--listen") {
            ok = words.TakeValue(option, options.listen, why);
        } else if (option == "--objects") {
            ok = words.TakeValue(option, options.objectsFile, why);
        } else if (option == "--log") {
            ok = words.TakeValue(option, options.logFile, why);
        } else if (option == "--community") {
            ok = words.TakeValue(option, options.handler.readCommunity, why);
        } else if (option == "--write-community") {
            ok = words.TakeValue(option, options.handler.writeCommunity, why);
        } else if (option == "--max-size") {
            ok = NumberOption(words, option, kMaxSnmpMessageSize, number, why);
            options.handler.maxSize = static_cast<size_t>(number);
        } else if (option == "--behave") {
            ok = words.TakeValue(option, value, why) &&
                 ParseMisbehaviour(value, options.behaviour, why);
        } else if (option == "--table") {
            ok = words.TakeValue(option, value, why);
            size_t colon = value.rfind(':');
            if (ok && (colon == std::string::npos ||
                       !ParseOid(value.substr(0, colon), options.tableBase) ||
                       !ParseDecimal(value.substr(colon + 1), UINT32_MAX, number))) {
                why = "--table wants BASEOID:ROWS, not '" + value + "'";
                ok = false;
            }
            options.tableRows = static_cast<uint32_t>(number);
        } else if (option == "--agents") {
            ok = NumberOption(words, option, 1u << 24, number, why);
            options.many.count = static_cast<uint32_t>(number);
        } else if (option == "--dead") {
            ok = NumberOption(words, option, 100, number, why);
            options.many.deadPercent = static_cast<uint32_t>(number);
        } else if (option == "--slow") {
            ok = words.TakeValue(option, value, why);
            const size_t colon = value.find(':');
            uint64_t delay = 0;
            if (ok && (colon == std::string::npos ||
                       !ParseDecimal(value.substr(0, colon), 100, number) ||
                       !ParseDecimal(value.substr(colon + 1), 600000, delay))) {
                why = "--slow wants PERCENT:MILLISECONDS, not '" + value + "'";
                ok = false;
            }
            options.many.slowPercent = static_cast<uint32_t>(number);
            options.many.slowMs = static_cast<uint32_t>(delay);
        } else {
            known = false;
        }
        return ok;
    });
}

bool ParseTrapOptions(const std::vector<std::string>& args, TrapOptions& options, std::string& why)
{
    const bool read =
        ReadOptions(args, why, [&](const std::string& option, Words& words, bool& known) {
            std::string value;
            uint64_t number = 0;
            bool ok = true;
            if (option == "--to") {
                ok = words.TakeValue(option, options.to, why);
            } else if (option == "--version") {
                ok = words.TakeValue(option, value, why);
                if (ok && value != "1" && value != "2c" && value != "3") {
                    why = "--version is 1, 2c or 3";
                    ok = false;
                }
                options.version = value == "2c"  ? SNMP_VERSION_2C
                                  : value == "3" ? SNMP_VERSION_3
                                                 : SNMP_VERSION_1;
            } else if (option == "--community") {
                ok = words.TakeValue(option, options.community, why);
            } else if (option == "--auth") {
                ok = words.TakeValue(option, options.authPhrase, why);
            } else if (option == "--priv") {
                ok = words.TakeValue(option, options.privPhrase, why);
            } else if (option == "--enterprise") {
                ok = OidOption(words, option, options.enterprise, why);
            } else if (option == "--agent-address") {
                AgentValue address;
                ok = words.TakeValue(option, value, why) &&
                     ParseValue("ipaddress", value, address, why);
                options.agentAddress = address.bytes;
            } else if (option == "--generic") {
                ok = NumberOption(words, option, INT32_MAX, number, why);
                options.generic = static_cast<int32_t>(number);
            } else if (option == "--specific") {
                ok = NumberOption(words, option, INT32_MAX, number, why);
                options.specific = static_cast<int32_t>(number);
            } else if (option == "--uptime") {
                ok = NumberOption(words, option, UINT32_MAX, number, why);
                options.uptime = static_cast<uint32_t>(number);
            } else if (option == "--count") {
                ok = NumberOption(words, option, UINT32_MAX, number, why);
                options.count = static_cast<uint32_t>(number);
            } else if (option == "--junk") {
                ok = NumberOption(words, option, UINT32_MAX, number, why);
                options.junk = static_cast<uint32_t>(number);
            } else if (option == "--varbind") {
                TrapBinding binding;
                std::string type;
                ok = OidOption(words, option, binding.name, why) &&
                     words.TakeValue(option, type, why) && words.TakeValue(option, value, why) &&
                     ParseValue(type, value, binding.value, why);
                options.bindings.push_back(binding);
            } else {
                known = false;
            }
            return ok;
        });
    if (!read) {
        return false;
    }
    if (options.to.empty()) {
        why = "trap needs --to ADDR:PORT";
        return false;
    }
    return true;
}
