// What trap reception needs of the system beside the socket itself: a thread
// that waits on the trap socket, a wake-up that ends its wait for good, and
// reading the socket without blocking. One reception at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transport/socket_types.h"

// Makes the wake-up for the trap socket; false with the last error set.
bool OpenTrapWake(int socket);
void CloseTrapWake();
// Ends the thread's wait, now and for every later one.
void RingTrapWake(int socket);

// Waits until a datagram can be read: false when the wake-up rang or the wait
// failed.
bool WaitForTrapDatagram(int socket);

// Takes one waiting datagram without blocking: its whole length (more than
// `capacity` when it was cut), or -1 when none waits.
long ReadTrapDatagram(int socket, uint8_t* buffer, size_t capacity, sockaddr_storage& sender,
                      socklen_t& senderLength);

// Sends an answer (an inform's acknowledgement) from the trap socket without
// blocking; one that cannot be sent at once is dropped, as UDP may. True
// when the system took the whole datagram.
bool SendTrapAnswer(int socket, const uint8_t* data, size_t size, const sockaddr_storage& to,
                    socklen_t toLength);

// Bursts of traps arrive faster than they are decoded: the system is asked to
// hold this many bytes of them. A refusal is no failure.
constexpr int kTrapReceiveBufferBytes = 8 * 1024 * 1024;
void EnlargeTrapReceiveBuffer(int socket);

// Runs `body` on a thread of its own; console control events stay with the
// tool's thread. False with the last error set.
bool StartTrapThread(void (*body)());
void JoinTrapThread();
