// Version 3 notifications as a hostile sender would send them: out of the
// time window, replayed, spoofed without a digest, cut short, and from more
// engines than the receiver keeps; and the keys that agents sharing an
// engine ID share.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "message/dispatcher.h"
#include "message/user_notifications.h"
#include "security/usm_peer_cache.h"

namespace {

const std::vector<uint8_t> kEngine = {0x80, 0, 0, 0, 5, 1, 2, 3};

UsmUser Bob()
{
    UsmUser user;
    user.name = "bob";
    user.auth = AuthProtocol::Sha1;
    user.authPassphrase = "authphrase";
    user.priv = PrivProtocol::Aes128;
    user.privPassphrase = "privphrase";
    return user;
}

UserNotifications Receiver(size_t mostPeers)
{
    std::vector<UsmUser> users;
    users.push_back(Bob());
    return UserNotifications(std::move(users), {0x80, 0, 0, 0, 5, 9, 9, 9}, 1, mostPeers);
}

// A trap from `engine` as bob, at that engine's `boots` and `time`.
std::vector<uint8_t> Trap(const std::vector<uint8_t>& engine, int32_t boots, int32_t time)
{
    UsmPeer sender;
    EXPECT_TRUE(UsmPeerInit(sender, Bob()));
    EXPECT_TRUE(UsmAdoptEngine(sender, engine, boots, time));
    uint32_t upTime[] = {1, 3, 6, 1, 2, 1, 1, 3, 0};
    uint32_t trapOid[] = {1, 3, 6, 1, 6, 3, 1, 1, 4, 1, 0};
    uint32_t coldStart[] = {1, 3, 6, 1, 6, 3, 1, 1, 5, 1};
    SnmpVarBind bindings[2] = {{{9, upTime}, {}}, {{11, trapOid}, {}}};
    bindings[0].value.tag = ASN_TIMETICKS;
    bindings[1].value.tag = ASN_OBJECTIDENTIFIER;
    bindings[1].value.data.object = {10, coldStart};
    SnmpPdu pdu;
    pdu.pduType = PDU_TRAP_V2;
    pdu.bindings = {bindings, 2};
    std::vector<uint8_t> out;
    EXPECT_TRUE(UsmPrepare(sender, 7, pdu, out));
    return out;
}

NotificationDrop Take(UserNotifications& receiver, const std::vector<uint8_t>& datagram)
{
    IncomingMessage incoming;
    std::vector<uint8_t> reply;
    const NotificationDrop drop =
        receiver.TakeApart(datagram.data(), datagram.size(), incoming, reply);
    if (drop == NotificationDrop::None) {
        FreeIncoming(incoming);
    }
    return drop;
}

TEST(UsmNotifications, TheClockIsLearntFromAuthenticTrapsOnly)
{
    UserNotifications receiver = Receiver(8);
    const std::vector<uint8_t> first = Trap(kEngine, 5, 1000);
    EXPECT_EQ(Take(receiver, first), NotificationDrop::None);
    // Forged later boots: no digest, or a wrong one, teach nothing.
    std::vector<uint8_t> forged = Trap(kEngine, 9, 5000);
    forged[forged.size() / 2] ^= 1;
    EXPECT_NE(Take(receiver, forged), NotificationDrop::None);
    EXPECT_EQ(Take(receiver, first), NotificationDrop::None);  // within the window
    EXPECT_EQ(Take(receiver, Trap(kEngine, 5, 1200)), NotificationDrop::None);
    // Now the first is a replay from before the window.
    EXPECT_EQ(Take(receiver, first), NotificationDrop::NotInTimeWindow);
    EXPECT_EQ(Take(receiver, Trap(kEngine, 4, 1300)), NotificationDrop::NotInTimeWindow);
    // Cut short anywhere, a trap is dropped, never taken.
    const std::vector<uint8_t> whole = Trap(kEngine, 5, 1210);
    for (size_t size = 1; size < whole.size(); size += 7) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(size));
        EXPECT_NE(Take(receiver, cut), NotificationDrop::None) << size;
    }
    EXPECT_EQ(Take(receiver, whole), NotificationDrop::None);
}

TEST(UsmNotifications, EnginesBeyondTheCacheAreForgottenOldestFirst)
{
    UserNotifications receiver = Receiver(2);
    for (uint8_t last = 0; last < 3; ++last) {
        std::vector<uint8_t> engine = kEngine;
        engine.push_back(last);
        EXPECT_EQ(Take(receiver, Trap(engine, 1, 10)), NotificationDrop::None);
    }
    EXPECT_EQ(receiver.Evictions(), 1u);
    std::vector<uint8_t> newest = kEngine;
    newest.push_back(2);
    EXPECT_EQ(Take(receiver, Trap(newest, 1, 11)), NotificationDrop::None);
    EXPECT_EQ(receiver.Evictions(), 1u);
}

TEST(UsmPeerCache, AgentsSharingAnEngineLocaliseOncePerUser)
{
    UsmPeer alone;
    ASSERT_TRUE(UsmPeerInit(alone, Bob()));
    ASSERT_TRUE(UsmLocaliseTo(alone, kEngine));
    UsmPeerCache cache(2);
    // The first agent's model learns the engine from its report; the others
    // take the keys it left.
    std::unique_ptr<MessageModel> model = MakeUserModel(Bob(), cache, 0);
    ASSERT_NE(model, nullptr);
    IncomingMessage report;
    report.engineId = kEngine;
    EXPECT_EQ(model->LearnEngine(report), 0u);
    EXPECT_FALSE(model->NeedsDiscovery());
    EXPECT_EQ(cache.Localisations(), 1u);
    for (int agent = 0; agent < 2; ++agent) {
        UsmPeer peer;
        ASSERT_TRUE(UsmPeerInit(peer, Bob()));
        ASSERT_TRUE(cache.LocaliseTo(peer, 0, kEngine));
        EXPECT_TRUE(peer.discovered);
        EXPECT_EQ(peer.engineId, kEngine);
        EXPECT_EQ(peer.authKey.bytes, alone.authKey.bytes);
        EXPECT_EQ(peer.privKey.bytes, alone.privKey.bytes);
    }
    EXPECT_EQ(cache.Localisations(), 1u);
    // Another user, or another engine, has keys of its own.
    UsmUser other = Bob();
    other.authPassphrase = "other authphrase";
    UsmPeer peer;
    ASSERT_TRUE(UsmPeerInit(peer, std::move(other)));
    ASSERT_TRUE(cache.LocaliseTo(peer, 1, kEngine));
    EXPECT_NE(peer.authKey.bytes, alone.authKey.bytes);
    std::vector<uint8_t> engine = kEngine;
    engine.push_back(1);
    ASSERT_TRUE(cache.LocaliseTo(peer, 1, engine));
    EXPECT_EQ(cache.Localisations(), 3u);
    EXPECT_EQ(cache.Evictions(), 1u);
}

}  // namespace
