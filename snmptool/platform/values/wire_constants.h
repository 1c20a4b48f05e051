// Wire constants of every SNMP version, named once with their RFC values.
#pragma once

#include <cstddef>
#include <cstdint>

// Value tags: RFC 1155 section 3.2 (universal and application types), plus the
// SNMPv2 tags that agents may put into answers (RFC 3416 section 3).
enum : uint8_t {
    ASN_INTEGER = 0x02,
    ASN_OCTETSTRING = 0x04,
    ASN_NULL = 0x05,
    ASN_OBJECTIDENTIFIER = 0x06,
    ASN_SEQUENCE = 0x30,
    ASN_IPADDRESS = 0x40,
    ASN_COUNTER = 0x41,
    ASN_GAUGE = 0x42,
    ASN_TIMETICKS = 0x43,
    ASN_OPAQUE = 0x44,
    ASN_COUNTER64 = 0x46,
    ASN_NOSUCHOBJECT = 0x80,
    ASN_NOSUCHINSTANCE = 0x81,
    ASN_ENDOFMIBVIEW = 0x82,
};

// PDU tags: RFC 1157 section 4.1, and those RFC 3416 section 3 adds.
enum : uint8_t {
    PDU_GET = 0xA0,
    PDU_GETNEXT = 0xA1,
    PDU_RESPONSE = 0xA2,
    PDU_SET = 0xA3,
    PDU_TRAP_V1 = 0xA4,
    PDU_GETBULK = 0xA5,
    PDU_INFORM = 0xA6,
    PDU_TRAP_V2 = 0xA7,
    PDU_REPORT = 0xA8,
};

// Message versions: RFC 1157 section 4 (0) and RFC 1901 (1).
enum : int32_t {
    SNMP_VERSION_1 = 0,
    SNMP_VERSION_2C = 1,
    SNMP_VERSION_3 = 3,  // RFC 3412 section 6
};

// Error statuses: RFC 1157 section 4.1.1 (0 to 5), and RFC 3416 section 3
// (6 to 18, SNMPv2 only).
enum : int32_t {
    SNMP_ERROR_NOERROR = 0,
    SNMP_ERROR_TOOBIG = 1,
    SNMP_ERROR_NOSUCHNAME = 2,
    SNMP_ERROR_BADVALUE = 3,
    SNMP_ERROR_READONLY = 4,
    SNMP_ERROR_GENERR = 5,
    SNMP_ERROR_NOACCESS = 6,
    SNMP_ERROR_WRONGTYPE = 7,
    SNMP_ERROR_WRONGLENGTH = 8,
    SNMP_ERROR_WRONGENCODING = 9,
    SNMP_ERROR_WRONGVALUE = 10,
    SNMP_ERROR_NOCREATION = 11,
    SNMP_ERROR_INCONSISTENTVALUE = 12,
    SNMP_ERROR_RESOURCEUNAVAILABLE = 13,
    SNMP_ERROR_COMMITFAILED = 14,
    SNMP_ERROR_UNDOFAILED = 15,
    SNMP_ERROR_AUTHORIZATIONERROR = 16,
    SNMP_ERROR_NOTWRITABLE = 17,
    SNMP_ERROR_INCONSISTENTNAME = 18,
};

// Generic traps: RFC 1157 section 4.1.6.
enum : int32_t {
    SNMP_TRAP_COLDSTART = 0,
    SNMP_TRAP_WARMSTART = 1,
    SNMP_TRAP_LINKDOWN = 2,
    SNMP_TRAP_LINKUP = 3,
    SNMP_TRAP_AUTHFAILURE = 4,
    SNMP_TRAP_EGPNEIGHBORLOSS = 5,
    SNMP_TRAP_ENTERPRISESPECIFIC = 6,
};

// The largest SNMP message we send or take: the largest UDP payload over IPv4
// (65535 less the IPv4 and UDP headers).
constexpr size_t kMaxSnmpMessageSize = 65507;

// The largest identifier the layer accepts, in sub-identifiers (RFC 2578 section 3.5).
constexpr uint32_t kMaxOidLength = 128;
