// The bounded cache of peers per user and engine: the cached peer owns its
// keys; a peer that borrows them gets copies, wiped when it goes.
#include "security/usm_peer_cache.h"

#include <algorithm>

namespace {

void CopyKey(const SecretKey& from, SecretKey& to)
{
    to.Wipe();
    to.bytes = from.bytes;
}

}  // namespace

UsmPeerCache::UsmPeerCache(size_t mostPeers) : mostPeers_(std::max<size_t>(mostPeers, 1)) {}

UsmPeer* UsmPeerCache::PeerFor(size_t user, const UsmUser& source,
                               const std::vector<uint8_t>& engineId, bool& made)
{
    made = false;
    PeerKey key(user, engineId);
    auto found = peers_.find(key);
    if (found != peers_.end()) {
        return found->second.get();
    }
    auto peer = std::make_unique<UsmPeer>();
    if (!UsmPeerInit(*peer, source.Copy()) || !UsmLocaliseTo(*peer, engineId)) {
        return nullptr;
    }
    ++localisations_;
    if (peers_.size() >= mostPeers_) {
        peers_.erase(arrival_.front());
        arrival_.pop_front();
        ++evictions_;
    }
    arrival_.push_back(key);
    made = true;
    return peers_.emplace(std::move(key), std::move(peer)).first->second.get();
}

bool UsmPeerCache::LocaliseTo(UsmPeer& peer, size_t user, const std::vector<uint8_t>& engineId)
{
    bool made = false;
    const UsmPeer* localised = PeerFor(user, peer.user, engineId, made);
    if (localised == nullptr) {
        return false;
    }
    peer.engineId = engineId;
    CopyKey(localised->authKey, peer.authKey);
    CopyKey(localised->privKey, peer.privKey);
    peer.discovered = true;
    return true;
}
