// Trap reception: a thread of its own reads the trap port, decodes and
// translates each datagram, and queues the traps for SnmpMgrGetTrap. The tool's
// thread sees only the queue (through SnmpMgrGetTrap) and the event.
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "ber/ber_codec.h"
#include "os/event_reset_guard.h"
#include "os/os_services.h"
#include "snmp_api.h"
#include "traps/trap_address.h"
#include "traps/trap_translation.h"
#include "session/udp_transport.h"

namespace {

// Bounds of the queue: a flood from a misbehaving agent must not take all the
// memory while the tool is busy printing.
constexpr uint32_t kMaxQueuedTraps = 65536;
// Counted as what the queued traps hold in memory (TrapRecordBytes), not as
// the size of their datagrams.
constexpr size_t kMaxQueuedBytes = 32u * 1024 * 1024;
// The largest UDP payload; a datagram is never longer.
constexpr size_t kMaxDatagram = 65535;
// Bursts of traps arrive faster than they are decoded: let the kernel hold them.
constexpr int kReceiveBufferBytes = 8 * 1024 * 1024;
// Datagrams read between two looks at the stop signal, so that a flood cannot
// hold the thread past SnmpMgrTrapStop.
constexpr int kDatagramsPerPass = 1024;

struct QueuedTrap {
    TrapRecord trap;
    size_t charge;
};

struct Reception {
    bool running = false;
    int socket = -1;
    int wake = -1;  // eventfd: written once to end the thread
    std::atomic<bool> stopping{false};
    pthread_t thread{};
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
};

Reception g_reception;

bool TrapsWaiting()
{
    std::lock_guard<std::mutex> hold(g_reception.lock);
    return g_reception.count > 0;
}

// Queues the trap, or drops it (the newest) when the queue is full.
void Enqueue(TrapRecord* trap)
{
    const size_t charge = TrapRecordBytes(*trap);
    bool queued = false;
    {
        std::lock_guard<std::mutex> hold(g_reception.lock);
        if (g_reception.count < g_reception.capacity &&
            g_reception.bytes + charge <= g_reception.maxBytes) {
            const uint32_t slot = (g_reception.head + g_reception.count) % g_reception.capacity;
            g_reception.ring[slot] = {*trap, charge};
            ++g_reception.count;
            g_reception.bytes += charge;
            queued = true;
        } else {
            ++g_reception.dropped;
        }
    }
    if (!queued) {
        FreeTrapRecord(trap);
        return;
    }
    // After the queue's lock is released: ResetEvent asks TrapsWaiting under
    // the event's lock, so the two locks are never taken the other way round.
    SetEvent(g_reception.event);
}

// Decodes one datagram; anything that is not a well-formed trap is dropped
// without a word (any community is accepted).
void TakeDatagram(const uint8_t* data, size_t size, const sockaddr_storage& sender,
                  socklen_t senderLength)
{
    SnmpMessage message;
    if (!DecodeMessage(data, size, message)) {
        return;
    }
    TrapRecord trap = {};
    if (TrapFromMessage(message, reinterpret_cast<const sockaddr*>(&sender), senderLength, &trap)) {
        Enqueue(&trap);
    }
    FreeMessage(message);
}

void* ReceiveTraps(void*)
{
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(kMaxDatagram));
    if (buffer == nullptr) {
        return nullptr;
    }
    pollfd watch[2] = {{g_reception.wake, POLLIN, 0}, {g_reception.socket, POLLIN, 0}};
    while (!g_reception.stopping.load()) {
        if (poll(watch, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (watch[0].revents != 0) {
            break;
        }
        // Empty the socket before sleeping again: one wake-up per burst.
        for (int taken = 0; taken < kDatagramsPerPass; ++taken) {
            sockaddr_storage sender;
            socklen_t senderLength = sizeof(sender);
            const ssize_t got =
                recvfrom(g_reception.socket, buffer, kMaxDatagram, MSG_DONTWAIT | MSG_TRUNC,
                         reinterpret_cast<sockaddr*>(&sender), &senderLength);
            if (got <= 0) {
                break;
            }
            if (static_cast<size_t>(got) <= kMaxDatagram) {
                TakeDatagram(buffer, static_cast<size_t>(got), sender, senderLength);
            }
        }
    }
    std::free(buffer);
    return nullptr;
}

void SetLargeReceiveBuffer(int fd)
{
    const int size = kReceiveBufferBytes;
    // The forced size passes the system's limit but needs privileges; the
    // ordinary one is capped by the limit. Either failing is no reason to stop.
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    }
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
        close(g_reception.socket);
        g_reception.socket = -1;
    }
    if (g_reception.wake >= 0) {
        close(g_reception.wake);
        g_reception.wake = -1;
    }
    DestroyPlatformEvent(g_reception.event);
    g_reception.event = nullptr;
    g_reception.running = false;
}

// Starts the thread with every signal blocked in it, so that Ctrl+C and the
// other control signals are handled on the tool's thread. 0 or an errno value.
int StartThread()
{
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const int result = pthread_create(&g_reception.thread, nullptr, ReceiveTraps, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return result;
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
    SetLargeReceiveBuffer(g_reception.socket);
    g_reception.wake = eventfd(0, EFD_CLOEXEC);
    if (g_reception.wake < 0) {
        const int reason = errno;
        ReleaseReception();
        SetLastErrorFromErrno(reason);
        return 0;
    }
    SetEventResetGuard(g_reception.event, TrapsWaiting);
    g_reception.stopping.store(false);
    const int started = StartThread();
    if (started != 0) {
        ReleaseReception();
        SetLastErrorFromErrno(started);
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
    SetLastError(0);
    return 1;
}

uint64_t SnmpMgrTrapStop()
{
    if (!g_reception.running) {
        return 0;
    }
    g_reception.stopping.store(true);
    const uint64_t one = 1;
    // Should the eventfd refuse the write, ending the socket wakes the thread too.
    if (write(g_reception.wake, &one, sizeof(one)) != static_cast<ssize_t>(sizeof(one))) {
        shutdown(g_reception.socket, SHUT_RDWR);
    }
    pthread_join(g_reception.thread, nullptr);
    const uint64_t dropped = g_reception.dropped;
    ReleaseReception();
    return dropped;
}
