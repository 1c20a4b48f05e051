// The dispatcher (RFC 3412 section 4.1): the model of each message version,
// chosen once for a session from the version asked for, and for each
// received notification from the version the datagram names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "message/message_model.h"
#include "message/user_notifications.h"
#include "security/usm_peer_cache.h"

// The model of a community version (1 or 2c) under `community`; null (last
// error ERROR_BAD_ARGUMENT) for another version or without memory.
std::unique_ptr<MessageModel> MakeCommunityModel(int32_t version, const char* community);
// The version 3 model for `user` (taken over); null with the last error set.
std::unique_ptr<MessageModel> MakeUserModel(UsmUser&& user);
// The same, its keys taken from `keys` (which must outlive it) for the
// caller's user number `userNumber`: agents sharing an engine localise once.
std::unique_ptr<MessageModel> MakeUserModel(UsmUser&& user, UsmPeerCache& keys, size_t userNumber);

// What a version can do; null for a version no model serves.
const MessageCapabilities* CapabilitiesOfVersion(int32_t version);
// The version as users write it ("1", "2c", "3"); null for a version no model serves.
const char* WordOfVersion(int32_t version);

// What trap reception can take: every version's notifications.
const MessageCapabilities& NotificationCapabilities();

// Takes a received notification apart with the model its version names:
// None for one to take, with in `reply` the Response that acknowledges an
// inform, to be sent once the inform was taken; else why it is dropped,
// with in `reply` any report the sender is owed. Any community is taken;
// version 3 is taken for the users of `users` (none when null).
NotificationDrop TakeNotificationApart(const uint8_t* data, size_t size, IncomingMessage& incoming,
                                       std::vector<uint8_t>& reply, UserNotifications* users);

// The Response that acknowledges an InformRequest (RFC 3416 section 4.2.7),
// in the inform's version and community: its request ID and bindings,
// noError; or tooBig without bindings when that would not fit a datagram.
// False when the inform's version has no informs.
bool PrepareInformAck(const IncomingMessage& inform, std::vector<uint8_t>& out);
