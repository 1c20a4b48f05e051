// The record of what a message version can carry and do.
#pragma once

// What a message version can carry and do; asked of the chosen model, so that
// the code above never compares version numbers.
struct MessageCapabilities {
    bool bulk;             // GetBulkRequest (RFC 3416 section 4.2.3)
    bool exceptions;       // noSuchObject, noSuchInstance, endOfMibView
    bool counter64;        // Counter64 values (RFC 2578 section 7.1.10)
    bool v2ErrorStatuses;  // error statuses 6 to 18 (RFC 3416 section 3)
    bool informs;          // InformRequest and its acknowledgement
    bool reports;          // Report-PDUs (RFC 3412 section 7.1)
    bool userSecurity;     // the user-based security model: the community word names a user
};
