// Why trap reception dropped a datagram.
#pragma once

// Why a received notification was not taken.
enum class NotificationDrop {
    None,
    Discovery,  // a sender asked for our engine: answered, nothing to count
    Malformed,
    UnknownUser,
    UnknownEngine,  // also an engine that the user's pins leave out
    WrongDigest,
    NotInTimeWindow,
    Decryption,
    UnsupportedLevel,
    Count,
};
