// Identifiers to and from their text over a given name table. SnmpMgrStrToOid
// and SnmpMgrOidToStr are these routines over the compiled-in table; the
// tests give them tables of their own.
#pragma once

#include "names/mib_table.h"
#include "values/snmp_values.h"

// Text to a new identifier (SnmpUtilMemAlloc). 1 on success. On failure 0,
// *oid empty, and the last-error code 0 when the text is simply not an
// identifier (so that the caller reports no system error), or the code of
// what went wrong otherwise (no memory, a null argument).
//
// Numbers are absolute. A text that begins with a name is read from mib-2
// when the name is a child of mib-2, from the root when it is a top-level
// name, and from the named node when no other node has that name; a leading
// "." reads from the root. Each later name must be a child of the node
// reached so far.
int MibTextToOid(const MibTable& table, const char* text, AsnObjectIdentifier* oid);

// Identifier to a new NUL-terminated text (SnmpUtilMemAlloc), sized to fit.
// 1 on success; 0 with *text null for an empty identifier (last-error 0) or
// a null argument. Under mib-2, when the first sub-identifier below mib-2 has
// a name, the text is relative to mib-2 (system.sysDescr.0); otherwise it is
// absolute with a leading "." (.iso.org.dod.internet.private.enterprises.8072).
// Names go as far as the table knows them, numbers after. MibTextToOid reads
// every such text back to the same identifier.
int MibOidToText(const MibTable& table, const AsnObjectIdentifier* oid, char** text);
