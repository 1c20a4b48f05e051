// Peers kept for each user and engine, their keys localised once when made
// (RFC 3414 section 2.6: a megabyte hashed for each key). A receiver of
// notifications keeps its senders' peers here; a list of agents shares the
// keys of agents that have one engine ID (a cluster, devices cloned with one
// ID). At most a given number of pairs are kept, the oldest going first, so
// a flood of engine IDs costs a localisation each but never more memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "security/usm_engine.h"

class UsmPeerCache {
public:
    explicit UsmPeerCache(size_t mostPeers);

    // The peer of the caller's user number `user` for `engineId`; when there
    // is none yet, one is made for a copy of `source` with its keys localised
    // to the engine, and `made` is set. Null when that fails.
    UsmPeer* PeerFor(size_t user, const UsmUser& source, const std::vector<uint8_t>& engineId,
                     bool& made);

    // Localises `peer`'s keys to `engineId` as UsmLocaliseTo does, copying
    // them from the cached peer of user number `user` for that engine.
    bool LocaliseTo(UsmPeer& peer, size_t user, const std::vector<uint8_t>& engineId);

    uint64_t Localisations() const
    {
        return localisations_;
    }
    uint64_t Evictions() const
    {
        return evictions_;
    }

private:
    using PeerKey = std::pair<size_t, std::vector<uint8_t>>;

    size_t mostPeers_;
    std::map<PeerKey, std::unique_ptr<UsmPeer>> peers_;
    std::deque<PeerKey> arrival_;  // the order the peers were made in
    uint64_t localisations_ = 0;
    uint64_t evictions_ = 0;
};
