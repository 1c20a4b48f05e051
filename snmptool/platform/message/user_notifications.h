// Version 3 notifications as their receiver (RFC 3412 section 7.2, RFC 3414
// section 3.2): the users of the credentials file, their keys localised to
// each sender's engine on first sight and kept, a bounded number of engines,
// and our own engine, to which informs are sent.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "message/message_model.h"
#include "message/notification_drop.h"
#include "security/usm_engine.h"
#include "security/usm_peer_cache.h"

class UserNotifications {
public:
    // At most `mostPeers` user and engine pairs are kept; the oldest goes first.
    UserNotifications(std::vector<UsmUser> users, std::vector<uint8_t> engineId, int32_t boots,
                      size_t mostPeers);

    // Takes a version 3 datagram apart: None with `incoming` filled (a trap,
    // or an inform with its Response in `reply`, to be sent once the inform
    // is taken), or the reason to drop it, with a Report in `reply` where
    // the sender is owed one (our engine for a discovery, our clock).
    NotificationDrop TakeApart(const uint8_t* data, size_t size, IncomingMessage& incoming,
                               std::vector<uint8_t>& reply);

    uint64_t Evictions() const
    {
        return peers_.Evictions();
    }

private:
    UsmPeer* PeerFor(size_t user, const std::vector<uint8_t>& engineId);
    NotificationDrop Check(UsmPeer& peer, const uint8_t* data, size_t size,
                           IncomingMessage& incoming, std::vector<uint8_t>& reply);
    // The report of usmStats `stat` (1 to 6), which it counts up.
    void PrepareReport(UsmPeer& peer, int32_t msgId, SecurityLevel level, uint32_t stat,
                       std::vector<uint8_t>& reply);
    // The same from our engine with no user, for a message nothing proved.
    void ReportUnproven(int32_t msgId, uint32_t stat, std::vector<uint8_t>& reply);
    bool PrepareAck(UsmPeer& peer, const IncomingMessage& inform, std::vector<uint8_t>& out);

    std::vector<UsmUser> users_;
    std::vector<uint8_t> engineId_;
    int32_t boots_;
    std::chrono::steady_clock::time_point started_;
    UsmPeerCache peers_;
    std::array<uint32_t, 7> stats_{};  // usmStats 1 to 6, by number
    UsmPeer stranger_;  // answers discovery: no user, our engine
};
