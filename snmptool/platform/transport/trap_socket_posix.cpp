// The trap thread on POSIX: poll(2) on the socket and an eventfd that is
// written once to end the thread.
#include "transport/trap_socket.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "os/system_error.h"

namespace {

int g_wake = -1;
pthread_t g_thread{};
void (*g_body)() = nullptr;

void* RunBody(void*)
{
    g_body();
    return nullptr;
}

}  // namespace

bool OpenTrapWake(int /*socket*/)
{
    g_wake = eventfd(0, EFD_CLOEXEC);
    if (g_wake < 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

void CloseTrapWake()
{
    if (g_wake >= 0) {
        close(g_wake);
        g_wake = -1;
    }
}

void RingTrapWake(int socket)
{
    const uint64_t one = 1;
    // Should the eventfd refuse the write, ending the socket wakes the thread too.
    if (write(g_wake, &one, sizeof(one)) != static_cast<ssize_t>(sizeof(one))) {
        shutdown(socket, SHUT_RDWR);
    }
}

bool WaitForTrapDatagram(int socket)
{
    pollfd watch[2] = {{g_wake, POLLIN, 0}, {socket, POLLIN, 0}};
    for (;;) {
        if (poll(watch, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        return watch[0].revents == 0;
    }
}

long ReadTrapDatagram(int socket, uint8_t* buffer, size_t capacity, sockaddr_storage& sender,
                      socklen_t& senderLength)
{
    // MSG_TRUNC makes the result the datagram's true length.
    const ssize_t got = recvfrom(socket, buffer, capacity, MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&sender), &senderLength);
    return got < 0 ? -1 : static_cast<long>(got);
}

bool SendTrapAnswer(int socket, const uint8_t* data, size_t size, const sockaddr_storage& to,
                    socklen_t toLength)
{
    return sendto(socket, data, size, MSG_DONTWAIT | MSG_NOSIGNAL,
                  reinterpret_cast<const sockaddr*>(&to), toLength) == static_cast<ssize_t>(size);
}

void EnlargeTrapReceiveBuffer(int socket)
{
    const int size = kTrapReceiveBufferBytes;
    // The forced size passes the system's limit but needs privileges; the
    // ordinary one is capped by the limit. Either failing is no reason to stop.
    if (setsockopt(socket, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0) {
        setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    }
}

bool StartTrapThread(void (*body)())
{
    g_body = body;
    // Every signal is blocked in the thread, so that Ctrl+C and the other
    // control signals are handled on the tool's thread.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    const int result = pthread_create(&g_thread, nullptr, RunBody, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (result != 0) {
        SetLastErrorFromErrno(result);
        return false;
    }
    return true;
}

void JoinTrapThread()
{
    pthread_join(g_thread, nullptr);
}
