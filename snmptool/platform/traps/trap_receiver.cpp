// Trap reception: a thread of its own reads the trap port, decodes and
// translates each datagram, and queues the traps for SnmpMgrGetTrap. The tool's
// thread sees only the queue (through SnmpMgrGetTrap) and the event.
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "message/dispatcher.h"
#include "os/event_reset_guard.h"
#include "os/platform_event.h"
#include "os/system_error.h"
#include "snmp_api.h"
#include "security/usm_users.h"
#include "traps/local_engine.h"
#include "traps/trap_address.h"
#include "transport/trap_socket.h"
#include "traps/trap_translation.h"
#include "transport/udp_transport.h"

namespace {

// Bounds of the queue: a flood from a misbehaving agent must not take all the
// memory while the tool is busy printing.
constexpr uint32_t kMaxQueuedTraps = 65536;
// Counted as what the queued traps hold in memory (TrapRecordBytes), not as
// the size of their datagrams.
constexpr size_t kMaxQueuedBytes = 32u * 1024 * 1024;
// Datagrams read between two looks at the stop signal, so that a flood cannot
// hold the thread past SnmpMgrTrapStop.
constexpr int kDatagramsPerPass = 1024;
// Version 3 user and engine pairs whose keys are kept: a flood of made-up
// engine IDs must not take all the memory.
constexpr size_t kMostPeers = 1024;

struct QueuedTrap {
    TrapRecord trap;
    size_t charge;
};

struct Reception {
    bool running = false;
    int socket = -1;
    bool wakeOpen = false;  // rung once to end the thread
    std::atomic<bool> stopping{false};
    PlatformEvent* event = nullptr;

    // Under `lock`: a ring of `capacity` slots, `count` of them in use from `head`.
    std::mutex lock;
    QueuedTrap* ring = nullptr;
    uint32_t capacity = 0;
    uint32_t head = 0;
    uint32_t count = 0;
    size_t bytes = 0;
    size_t maxBytes = 0;
    uint64_t dropped = 0;
    // Every reason's drops (TRAP_DROP_QUEUE_FULL's is `dropped` as well).
    std::atomic<uint64_t> drops[TRAP_DROP_REASONS] = {};

    std::unique_ptr<UserNotifications> users;  // null without version 3 users
};

Reception g_reception;

// What version 3 reception could not keep or take, read after it stopped.
struct Account {
    uint64_t evictions = 0;
    std::string usersProblem;
};

Account g_account;

// Loads the users and our engine for version 3; a missing users file means
// no version 3 users, and is no problem.
void StartUserNotifications()
{
    g_account = Account{};
    std::vector<UsmUser> users;
    std::string problem;
    const UsersFile file = LoadUsers(UsersFilePath(), users, problem);
    if (file != UsersFile::Read) {
        if (file == UsersFile::Refused) {
            g_account.usersProblem = "notifications not taken: " + problem;
        }
        return;
    }
    // Without its state our engine has no ID: traps are still taken, informs not.
    LocalEngine engine;
    if (!StartLocalEngine(engine, problem)) {
        g_account.usersProblem = "informs not taken: " + problem;
        engine = LocalEngine{};
    }
    try {
        g_reception.users = std::make_unique<UserNotifications>(
            std::move(users), std::move(engine.id), engine.boots, kMostPeers);
    } catch (const std::bad_alloc&) {
        g_account.usersProblem = "notifications not taken: no memory for the users";
    }
}

bool TrapsWaiting()
{
    std::lock_guard<std::mutex> hold(g_reception.lock);
    return g_reception.count > 0;
}

void CountDrop(TrapDropReason reason)
{
    g_reception.drops[reason].fetch_add(1);
}

// Indexed by NotificationDrop; a discovery was answered, not dropped.
constexpr TrapDropReason kDropReasonOf[] = {
    TRAP_DROP_REASONS,
    TRAP_DROP_REASONS,
    TRAP_DROP_MALFORMED,
    TRAP_DROP_UNKNOWN_USER,
    TRAP_DROP_UNKNOWN_ENGINE,
    TRAP_DROP_WRONG_DIGEST,
    TRAP_DROP_NOT_IN_TIME_WINDOW,
    TRAP_DROP_DECRYPTION,
    TRAP_DROP_UNSUPPORTED_LEVEL,
};
static_assert(std::size(kDropReasonOf) == static_cast<size_t>(NotificationDrop::Count));

void CountNotificationDrop(NotificationDrop drop)
{
    const TrapDropReason reason = kDropReasonOf[static_cast<size_t>(drop)];
    if (reason != TRAP_DROP_REASONS) {
        CountDrop(reason);
    }
}

// Sends an inform's acknowledgement and notes on the queued trap that it
// went; called with the queue's lock held, so that the tool never takes the
// trap before it knows.
void Acknowledge(TrapRecord* trap, const std::vector<uint8_t>& ack, const sockaddr_storage& sender,
                 socklen_t senderLength)
{
    const bool sent =
        SendTrapAnswer(g_reception.socket, ack.data(), ack.size(), sender, senderLength);
    if (trap->origin != nullptr) {
        trap->origin->acked = sent;
    }
}

// Queues the trap, or drops it (the newest) when the queue is full; an
// inform is acknowledged once it is queued (`ack` empty for a trap). True when queued.
bool Enqueue(TrapRecord* trap, const std::vector<uint8_t>& ack, const sockaddr_storage& sender,
             socklen_t senderLength)
{
    const size_t charge = TrapRecordBytes(*trap);
    bool queued = false;
    {
        std::lock_guard<std::mutex> hold(g_reception.lock);
        if (g_reception.count < g_reception.capacity &&
            g_reception.bytes + charge <= g_reception.maxBytes) {
            if (!ack.empty()) {
                Acknowledge(trap, ack, sender, senderLength);
            }
            const uint32_t slot = (g_reception.head + g_reception.count) % g_reception.capacity;
            g_reception.ring[slot] = {*trap, charge};
            ++g_reception.count;
            g_reception.bytes += charge;
            queued = true;
        } else {
            ++g_reception.dropped;
            CountDrop(TRAP_DROP_QUEUE_FULL);
        }
    }
    if (!queued) {
        FreeTrapRecord(trap);
        return false;
    }
    // After the queue's lock is released: ResetEvent asks TrapsWaiting under
    // the event's lock, so the two locks are never taken the other way round.
    SetEvent(g_reception.event);
    return true;
}

// Takes one datagram apart; anything that is not a well-formed trap is
// dropped and counted (any community is accepted), with a report sent back
// where the sender is owed one. An InformRequest is acknowledged from the
// receiving socket once it is queued: one that is dropped goes
// unacknowledged, so that its sender tries again.
void TakeDatagram(const uint8_t* data, size_t size, const sockaddr_storage& sender,
                  socklen_t senderLength)
{
    IncomingMessage message;
    std::vector<uint8_t> ack;
    const NotificationDrop drop =
        TakeNotificationApart(data, size, message, ack, g_reception.users.get());
    if (drop != NotificationDrop::None) {
        CountNotificationDrop(drop);
        // A report the sender is owed (our engine, our clock).
        if (!ack.empty()) {
            SendTrapAnswer(g_reception.socket, ack.data(), ack.size(), sender, senderLength);
        }
        return;
    }
    const sockaddr* from = reinterpret_cast<const sockaddr*>(&sender);
    TrapOrigin* origin = NewTrapOrigin(message, from, senderLength);
    TrapRecord trap = {};
    if (TrapFromPdu(message.pdu, from, senderLength, &trap)) {
        trap.origin = origin;
        Enqueue(&trap, ack, sender, senderLength);
    } else {
        delete origin;
        CountDrop(TRAP_DROP_FAILED_CHECK);
    }
    FreeIncoming(message);
}

void ReceiveTraps()
{
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(kReceiveBufferSize));
    if (buffer == nullptr) {
        return;
    }
    while (!g_reception.stopping.load()) {
        if (!WaitForTrapDatagram(g_reception.socket)) {
            break;
        }
        // Empty the socket before sleeping again: one wake-up per burst.
        for (int taken = 0; taken < kDatagramsPerPass; ++taken) {
            sockaddr_storage sender;
            socklen_t senderLength = sizeof(sender);
            const long got = ReadTrapDatagram(g_reception.socket, buffer, kReceiveBufferSize,
                                              sender, senderLength);
            if (got <= 0) {
                break;
            }
            if (static_cast<size_t>(got) <= kReceiveBufferSize) {
                TakeDatagram(buffer, static_cast<size_t>(got), sender, senderLength);
            }
        }
    }
    std::free(buffer);
}

// A bound socket for `where`, or -1 with errno telling why.
int OpenTrapSocket(const TrapAddress& where)
{
    if (!where.everyAddress) {
        return UdpOpenBound(where.address, where.addressLength);
    }
    // One dual-stack socket serves IPv6 and IPv4 senders alike.
    sockaddr_storage any = {};
    sockaddr_in6& any6 = reinterpret_cast<sockaddr_in6&>(any);
    any6.sin6_family = AF_INET6;
    any6.sin6_addr = in6addr_any;
    any6.sin6_port = htons(where.port);
    const int fd = UdpOpenBound(any, sizeof(sockaddr_in6));
    // Only a missing IPv6 falls back; a port in use or a forbidden one is just
    // as forbidden on IPv4.
    if (fd >= 0 || (errno != EADDRNOTAVAIL && errno != EAFNOSUPPORT && errno != EINVAL)) {
        return fd;
    }
    any = {};
    sockaddr_in& any4 = reinterpret_cast<sockaddr_in&>(any);
    any4.sin_family = AF_INET;
    any4.sin_addr.s_addr = htonl(INADDR_ANY);
    any4.sin_port = htons(where.port);
    return UdpOpenBound(any, sizeof(sockaddr_in));
}

// Frees everything that reception holds and leaves it not running.
void ReleaseReception()
{
    for (uint32_t i = 0; i < g_reception.count; ++i) {
        FreeTrapRecord(&g_reception.ring[(g_reception.head + i) % g_reception.capacity].trap);
    }
    std::free(g_reception.ring);
    g_reception.ring = nullptr;
    g_reception.capacity = 0;
    g_reception.head = 0;
    g_reception.count = 0;
    g_reception.bytes = 0;
    if (g_reception.socket >= 0) {
        UdpClose(g_reception.socket);
        g_reception.socket = -1;
    }
    if (g_reception.wakeOpen) {
        CloseTrapWake();
        g_reception.wakeOpen = false;
    }
    DestroyPlatformEvent(g_reception.event);
    g_reception.event = nullptr;
    if (g_reception.users != nullptr) {
        g_account.evictions = g_reception.users->Evictions();
        g_reception.users.reset();
    }
    g_reception.running = false;
}

}  // namespace

int SnmpMgrTrapListen(PlatformEvent** event)
{
    if (event == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    if (g_reception.running) {
        SetLastError(SNMP_MGMTAPI_TRAP_DUPINIT);
        return 0;
    }
    TrapAddress where;
    if (!ParseTrapAddress(std::getenv(kTrapAddressVariable), &where)) {
        SetLastError(ERROR_BAD_TRAP_ADDRESS);
        return 0;
    }
    // A failed start leaves nothing behind, so the call may be tried again.
    g_reception.capacity = kMaxQueuedTraps;
    g_reception.maxBytes = kMaxQueuedBytes;
    g_reception.dropped = 0;
    for (std::atomic<uint64_t>& count : g_reception.drops) {
        count.store(0);
    }
    g_reception.ring =
        static_cast<QueuedTrap*>(std::calloc(g_reception.capacity, sizeof(QueuedTrap)));
    g_reception.event = CreatePlatformEvent();
    if (g_reception.ring == nullptr || g_reception.event == nullptr) {
        ReleaseReception();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    g_reception.socket = OpenTrapSocket(where);
    if (g_reception.socket < 0) {
        const int reason = errno;
        ReleaseReception();
        SetLastErrorFromErrno(reason);
        return 0;
    }
    EnlargeTrapReceiveBuffer(g_reception.socket);
    StartUserNotifications();
    g_reception.wakeOpen = OpenTrapWake(g_reception.socket);
    if (!g_reception.wakeOpen) {
        const uint32_t reason = GetLastError();
        ReleaseReception();
        SetLastError(reason);
        return 0;
    }
    SetEventResetGuard(g_reception.event, TrapsWaiting);
    g_reception.stopping.store(false);
    if (!StartTrapThread(ReceiveTraps)) {
        const uint32_t reason = GetLastError();
        ReleaseReception();
        SetLastError(reason);
        return 0;
    }
    g_reception.running = true;
    *event = g_reception.event;
    return 1;
}

int SnmpMgrGetTrap(AsnObjectIdentifier* enterprise, AsnOctetString* agentAddress,
                   int32_t* genericTrap, int32_t* specificTrap, uint32_t* timeStamp,
                   SnmpVarBindList* bindings)
{
    return SnmpMgrGetTrapWithOrigin(enterprise, agentAddress, genericTrap, specificTrap, timeStamp,
                                    bindings, nullptr);
}

int SnmpMgrGetTrapWithOrigin(AsnObjectIdentifier* enterprise, AsnOctetString* agentAddress,
                             int32_t* genericTrap, int32_t* specificTrap, uint32_t* timeStamp,
                             SnmpVarBindList* bindings, TrapOrigin* origin)
{
    if (enterprise == nullptr || agentAddress == nullptr || genericTrap == nullptr ||
        specificTrap == nullptr || timeStamp == nullptr || bindings == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    // Taken before the lock, so that a failure leaves the trap where it is.
    uint8_t* address = static_cast<uint8_t*>(SnmpUtilMemAlloc(sizeof(TrapRecord::agentAddress)));
    if (address == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    TrapRecord trap;
    {
        std::lock_guard<std::mutex> hold(g_reception.lock);
        if (g_reception.count == 0) {
            SnmpUtilMemFree(address);
            SetLastError(SNMP_MGMTAPI_NOTRAPS);
            return 0;
        }
        QueuedTrap& oldest = g_reception.ring[g_reception.head];
        trap = oldest.trap;
        g_reception.bytes -= oldest.charge;
        g_reception.head = (g_reception.head + 1) % g_reception.capacity;
        --g_reception.count;
    }
    std::memcpy(address, trap.agentAddress, sizeof(trap.agentAddress));
    *enterprise = trap.enterprise;
    agentAddress->stream = address;
    agentAddress->length = sizeof(trap.agentAddress);
    agentAddress->dynamic = 1;
    *genericTrap = trap.genericTrap;
    *specificTrap = trap.specificTrap;
    *timeStamp = trap.timeStamp;
    // The caller's list is replaced, not released: it may hold an array the
    // caller still owns.
    *bindings = trap.bindings;
    if (origin != nullptr && trap.origin != nullptr) {
        *origin = std::move(*trap.origin);
    }
    delete trap.origin;
    SetLastError(0);
    return 1;
}

void SnmpMgrTrapDropCounts(uint64_t (&counts)[TRAP_DROP_REASONS])
{
    for (uint32_t i = 0; i < TRAP_DROP_REASONS; ++i) {
        counts[i] = g_reception.drops[i].load();
    }
}

const MessageCapabilities& SnmpMgrTrapCapabilities()
{
    return NotificationCapabilities();
}

uint64_t SnmpMgrTrapStop()
{
    if (!g_reception.running) {
        return 0;
    }
    g_reception.stopping.store(true);
    RingTrapWake(g_reception.socket);
    JoinTrapThread();
    const uint64_t dropped = g_reception.dropped;
    ReleaseReception();
    return dropped;
}

uint64_t SnmpMgrTrapEvictions()
{
    return g_account.evictions;
}

const char* SnmpMgrTrapUsersProblem()
{
    return g_account.usersProblem.empty() ? nullptr : g_account.usersProblem.c_str();
}
