// The entry of mibcli: options, the command word and its word count, the
// dispatch to the routine that does the work, and the exit status.
#include <cstdio>
#include <cstring>

#include "os/os_services.h"
#include "tool.h"

namespace {

constexpr int kStatusRan = 0;
constexpr int kStatusUsage = -1;
constexpr int kStatusFailed = -2;

constexpr char kBanner[] = "\nmibcli - Simple Network Management Protocol Tool for Win32\n";
constexpr char kMakerLine[] = "Velmar Computers\n\n";
constexpr char kUsageText[] =
    "Usage: mibcli [-rt] {get|getnext} agent community oid [oid] [...]\n"
    "       mibcli [-rt] set agent community oid type value [oid type value] [...]\n"
    "       mibcli [-inrtx] poll agent community oid [oid] [...]\n"
    "       mibcli [-lrt] walk agent community oid\n"
    "       mibcli [-inp] trap\n"
    "       mibcli @file\n"
    "\n"
    "       Options with arguments are:\n"
    "         -t <request time out in milliseconds>\n"
    "         -r <request retries attempts before timing out>\n"
    "         -i <polling interval in milliseconds>\n"
    "         -n <number of polling requests>\n"
    "\n"
    "       Valid 'type' are:\n"
    "         1 = INTEGER            5 = Counter\n"
    "         2 = OCTET STRING       6 = Gauge\n"
    "         3 = OBJECT IDENTIFIER  7 = TimeTicks\n"
    "         4 = IpAddress          8 = Opaque\n"
    "\n"
    "\tBinary OCTET STRING (4 bytes) assumed if string begins with 0x or 0X";

// Case folding of the letters A to Z only, whatever the locale says.
char FoldLetter(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool WordsEqualFolded(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldLetter(*a) != FoldLetter(*b)) {
            return false;
        }
    }
    return *a == *b;
}

// The version word of -v: exactly 1, 2c (or 2) or 3; any other word, "3c"
// or "1abc" too, is a usage error.
bool ApplyVersion(const char* word)
{
    static constexpr struct {
        const char* word;
        int32_t version;
    } kVersionWords[] = {{"1", SNMP_VERSION_1},
                         {"2", SNMP_VERSION_2C},
                         {"2c", SNMP_VERSION_2C},
                         {"3", SNMP_VERSION_3}};
    for (const auto& known : kVersionWords) {
        if (std::strcmp(word, known.word) == 0) {
            g_settings.version = known.version;
            return true;
        }
    }
    ReportFailure({"unknownVersion", FailureClass::Usage}, FailureStream::Output,
                  "mibcli: Unknown SNMP version: %s\n", word);
    return false;
}

// The layout of the output (-o): the labelled text, or JSON Lines.
bool ApplyOutputFormat(const char* word)
{
    if (WordsEqualFolded(word, "text") || WordsEqualFolded(word, "json")) {
        g_settings.jsonOutput = WordsEqualFolded(word, "json");
        if (g_settings.jsonOutput) {
            UseUtf8LineOutput();
        }
        return true;
    }
    ReportFailure({"unknownOutputFormat", FailureClass::Usage}, FailureStream::Output,
                  "mibcli: Unknown output format: %s\n", word);
    return false;
}

bool ApplyContextName(const char* word)
{
    g_settings.contextName = word;
    g_settings.contextGiven = true;
    return true;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const int folded = c | 0x20;  // 'A' to 'F' as 'a' to 'f'
    return folded >= 'a' && folded <= 'f' ? folded - 'a' + 10 : -1;
}

// RFC 3411 section 5: an engine ID is 5 to 32 bytes, given here in hex.
bool ApplyContextEngine(const char* word)
{
    std::vector<uint8_t> id;
    const size_t length = std::strlen(word);
    bool valid = length % 2 == 0 && length >= 10 && length <= 64;
    for (size_t i = 0; valid && i < length; i += 2) {
        const int high = HexDigitValue(word[i]);
        const int low = HexDigitValue(word[i + 1]);
        valid = high >= 0 && low >= 0;
        id.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    if (!valid) {
        printf("mibcli: Not an engine ID of 5 to 32 bytes in hex: %s\n", word);
        return false;
    }
    g_settings.contextEngineId = std::move(id);
    g_settings.contextGiven = true;
    return true;
}

// An option sets a number from the next word, applies the next word its own
// way, or flips a switch.
struct OptionRule {
    char letter;
    uint32_t ToolSettings::*number;
    bool (*apply)(const char* word);
    bool ToolSettings::*toggle;
};

constexpr OptionRule kOptions[] = {
    {'t', &ToolSettings::timeoutMs, nullptr, nullptr},
    {'r', &ToolSettings::retries, nullptr, nullptr},
    {'i', &ToolSettings::pollIntervalMs, nullptr, nullptr},
    {'n', &ToolSettings::pollCount, nullptr, nullptr},
    {'v', nullptr, ApplyVersion, nullptr},
    {'o', nullptr, ApplyOutputFormat, nullptr},
    {'l', nullptr, nullptr, &ToolSettings::longWalk},
    {'p', nullptr, nullptr, &ToolSettings::trapPolling},
    {'x', nullptr, nullptr, &ToolSettings::pollWithGetNext},
    {'b', nullptr, nullptr, &ToolSettings::hexDump},
    {'w', &ToolSettings::window, nullptr, nullptr},
    {'m', &ToolSettings::ratePerSecond, nullptr, nullptr},
    {'s', nullptr, nullptr, &ToolSettings::completionOrder},
    {'c', nullptr, ApplyContextName, nullptr},
    {'e', nullptr, ApplyContextEngine, nullptr},
};

// Counts are of the words from the command word itself to the end.
struct CommandRule {
    const char* word;
    uint8_t toolMode;
    int minWords;
    bool triples;  // the identifiers come as (identifier, type, value) triples
};

constexpr CommandRule kCommands[] = {
    {"get", PDU_GET, 4, false},         {"getnext", PDU_GETNEXT, 4, false},
    {"set", PDU_SET, 6, true},          {"poll", TOOL_MODE_POLL, 4, false},
    {"walk", TOOL_MODE_WALK, 4, false}, {"trap", TOOL_MODE_TRAP, 1, false},
};
// A walk starts from exactly one identifier: command, agent, community, identifier.
constexpr int kWalkWords = 4;

bool IsOptionWord(const char* word)
{
    return word[0] == '-' || word[0] == '/';
}

const OptionRule* FindOption(char letter)
{
    for (const OptionRule& rule : kOptions) {
        if (rule.letter == FoldLetter(letter)) {
            return &rule;
        }
    }
    return nullptr;
}

const CommandRule* FindCommand(const char* word)
{
    for (const CommandRule& rule : kCommands) {
        if (WordsEqualFolded(word, rule.word)) {
            return &rule;
        }
    }
    return nullptr;
}

// The words of a run and how many of them are left.
struct Words {
    char** next;
    int remaining;
};

void Consume(Words* words)
{
    ++words->next;
    --words->remaining;
}

constexpr Failure kUnknownFlag = {"unknownFlag", FailureClass::Usage};

// Applies the options before the command word. False when the run cannot go
// on: an unknown flag, a value option without its value, or no command left.
bool ApplyOptions(Words* words)
{
    while (IsOptionWord(words->next[0])) {
        // The rest of the word after its letter is ignored: -lx is -l.
        const char letter = words->next[0][1];
        Consume(words);
        const OptionRule* rule = letter != '\0' ? FindOption(letter) : nullptr;
        if (rule == nullptr) {
            // A lone "-" or "/" has no letter to show. The message then ends
            // after the colon and blank: a NUL byte would turn the output into
            // binary data for every tool that reads it as text.
            if (letter == '\0') {
                ReportFailure(kUnknownFlag, FailureStream::Output, "mibcli: Unknown flag: \n");
            } else {
                ReportFailure(kUnknownFlag, FailureStream::Output, "mibcli: Unknown flag: %c\n",
                              letter);
            }
            return false;
        }
        if (rule->number != nullptr || rule->apply != nullptr) {
            if (words->remaining == 0) {
                return false;
            }
            // The value is taken whatever it looks like, command words included.
            if (rule->apply != nullptr) {
                if (!rule->apply(words->next[0])) {
                    return false;
                }
            } else {
                g_settings.*(rule->number) = ParseDecimal(words->next[0]);
            }
            Consume(words);
        } else {
            g_settings.*(rule->toggle) = !(g_settings.*(rule->toggle));
        }
        if (words->remaining == 0) {
            return false;
        }
    }
    return true;
}

// Whether the words from the command word on make a runnable command.
bool CountFitsCommand(const CommandRule* command, int wordCount)
{
    if (wordCount < command->minWords) {
        return false;
    }
    if (command->triples && wordCount % 3 != 0) {
        return false;
    }
    if (command->toolMode == TOOL_MODE_WALK && wordCount > kWalkWords) {
        ReportFailure({"tooManyOids", FailureClass::Usage}, FailureStream::Output,
                      "mibcli: Specify only one starting OID for MIB walk.\n");
        return false;
    }
    return true;
}

int RunTrapReception()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    // A failed query leaves the family unknown, which refuses the command
    // like any family that has no trap reception.
    GetVersionExA(&version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        ReportFailure({"unsupportedSystem", FailureClass::Local}, FailureStream::Output,
                      "\nmibcli: Trap detection is only supported under Windows NT\n");
        return kStatusUsage;
    }
    const int received = g_settings.trapPolling
                             ? PollForTraps(g_settings.pollIntervalMs, g_settings.pollCount)
                             : ListenForTraps();
    return received != 0 ? kStatusRan : kStatusFailed;
}

int RunSingleRequest(const char* agent, const char* community, SnmpVarBindList* list)
{
    int32_t errorStatus = 0;
    int32_t errorIndex = 0;
    if (DoRequest(agent, community, g_settings.timeoutMs, g_settings.retries, g_toolMode, list,
                  &errorStatus, &errorIndex, SessionUse::CloseAfter) != 0) {
        return kStatusFailed;
    }
    PrintResponse(errorStatus, errorIndex, list, true);
    return kStatusRan;
}

int RunPoll(const char* agent, const char* community, SnmpVarBindList* list)
{
    PrintNote("\nPolling Interval: %u milliseconds, Number of Polls: %u\n\n",
              g_settings.pollIntervalMs, g_settings.pollCount);
    const int polled = PollAgent(agent, community, g_settings.timeoutMs, g_settings.retries,
                                 g_settings.pollIntervalMs, g_settings.pollCount, list);
    return polled != 0 ? kStatusRan : kStatusFailed;
}

int RunWalk(const char* agent, const char* community, SnmpVarBindList* list)
{
    if (!JsonOutput()) {
        printf("\nPerforming %s walk starting at OID ", g_settings.longWalk ? "long" : "branch");
        PrintDottedOid(&list->bindings[0].name);
        printf("\n\n");
    }
    const int walked = WalkMib(agent, community, g_settings.timeoutMs, g_settings.retries, list);
    return walked != 0 ? kStatusRan : kStatusFailed;
}

// Agent, community, then the identifiers (or set triples) that make the list.
int RunRequestCommand(Words* words)
{
    // Agents of the community versions that serve contexts take them in the
    // community word (community@context), whole as it is.
    if (g_settings.contextGiven && !RequestCapabilities().userSecurity) {
        printf("mibcli: -c and -e name a version 3 context; with versions 1 and 2c, give the "
               "context in the community word (community@context).\n");
        return kStatusFailed;
    }
    Consume(words);
    // Both words are used whole: a cut agent name reaches another host, a
    // cut community is another community.
    const char* agent = words->next[0];
    const char* community = words->next[1];
    Consume(words);
    Consume(words);
    g_result.agent = SnmpMgrAgentText(agent);
    if (g_result.agent.empty()) {
        g_result.agent = agent;
    }

    SnmpVarBindList list = {nullptr, 0};
    if (BuildVarBindList(words->remaining, words->next, g_toolMode, &list) != 1) {
        return kStatusUsage;
    }
    int status = kStatusRan;
    if (IsFleetWord(agent)) {
        status = AskFleet(agent, community, &list) ? kStatusRan : kStatusFailed;
    } else if (g_toolMode == TOOL_MODE_POLL) {
        status = RunPoll(agent, community, &list);
    } else if (g_toolMode == TOOL_MODE_WALK) {
        status = RunWalk(agent, community, &list);
    } else {
        status = RunSingleRequest(agent, community, &list);
    }
    SnmpUtilVarBindListFree(&list);
    return status;
}

// Everything between reading the words and the exit sequence.
int RunWords(Words* words)
{
    if (!ApplyOptions(words)) {
        return kStatusUsage;
    }
    const CommandRule* command = FindCommand(words->next[0]);
    if (command == nullptr || !CountFitsCommand(command, words->remaining)) {
        return kStatusUsage;
    }
    g_toolMode = command->toolMode;
    PrintErrorNote("%s\n", kBanner);
    if (g_toolMode == TOOL_MODE_TRAP) {
        return RunTrapReception();
    }
    g_result.op = command->word;
    return RunRequestCommand(words);
}

void FreeCommandFileWords(char** fileWords, int count)
{
    if (fileWords == nullptr) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        SnmpUtilMemFree(fileWords[i]);
    }
    SnmpUtilMemFree(fileWords);
}

}  // namespace

int ToolMain(int argc, char** argv)
{
    InitOutput();
    SetConsoleCtrlHandler(ConsoleCtrlHandler, 1);
    int status = kStatusUsage;
    char** fileWords = nullptr;
    int fileWordCount = 0;

    if (argc > 1) {
        Words words = {argv + 1, argc - 1};
        bool haveWords = true;
        // Only the first argument may name a command file, and only once: a
        // command file's words are never read as further files.
        if (words.next[0][0] == '@') {
            // The name is used whole: paths here are often longer than 80
            // characters, and a cut name opens another file or none.
            const char* fileName = words.next[0] + 1;
            if (ReadCommandFile(fileName, &fileWordCount, &fileWords) == 0) {
                ReportFailure({"unreadableCommandFile", FailureClass::Usage}, FailureStream::Output,
                              "mibcli: Failed to read command file %s\n", fileName);
                haveWords = false;
            } else {
                words = {fileWords, fileWordCount};
            }
        }
        if (haveWords) {
            status = RunWords(&words);
        }
    }

    // Exit sequence.
    if (g_session != nullptr) {
        SnmpMgrClose(g_session);
        g_session = nullptr;
    }
    EndTrapReception();
    FreeCommandFileWords(fileWords, fileWordCount);
    if (status == kStatusUsage) {
        ReportUsageEnd();
        PrintError("%s%s%s", kBanner, kMakerLine, kUsageText);
    }
    // Results that could not be written (a full disk, a closed stream) are
    // lost: a run that printed them nowhere has not done its work. Flushed
    // while the handler still stands, so a late Ctrl+C cannot drop them.
    if (!StdoutWritten() && status == kStatusRan) {
        ReportLostOutput(false);
        status = kStatusFailed;
    }
    SetConsoleCtrlHandler(nullptr, 0);
    return status;
}
