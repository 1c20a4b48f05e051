// What both systems' sockets share: the time left until a deadline.
#include "transport/udp_transport.h"

#include <climits>

int MillisecondsLeft(TransportClock::time_point deadline)
{
    auto left = deadline - TransportClock::now();
    if (left <= TransportClock::duration::zero()) {
        return 0;
    }
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}
