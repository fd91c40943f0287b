// Why a load of Cat.DB refused the file: the entry it stopped at and the rule
// that entry broke. Filled by the loader itself, so a tool that reports the
// reason can never disagree with what the engine does.
#pragma once

#include <cstdint>

#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

enum class EntryKind : uint8_t { Header, Record, Name, Hash, SignerValue, UnknownTag, Validation };

enum class LoadRule : uint8_t {
    None,
    SizeUnknown,            // the stream cannot tell its size
    BadMagic,               // header magic is not 222
    BadVersion,             // header version is not 8
    DirtyHeader,            // the last save never finished
    RecordTruncated,        // a record's fields end early
    RecordIndexOutOfRange,  // index at or above 0xFFFFFFFF, or far beyond the records before it
    RecordsNotGrown,        // no memory for the records up to the index
    NameUnreadable,         // byte count 0, bytes cut short, or no path in them
    NameIndexInvalid,       // index missing or 0xFFFFFFFF
    NameNotInserted,        // no memory for the name map
    HashTooLong,            // length byte above 32
    HashTruncated,          // hash bytes cut short
    HashIndexInvalid,       // index missing or 0xFFFFFFFF
    HashNotInserted,        // no memory for the hash map
    SignerValueTruncated,   // length or bytes run past the end of the file
    SignerValueTableFull,   // a 255th signer value
    SignerValueNotAppended, // no memory for the table
    SignerValueNotIndexed,  // no memory for the index map
    UnknownTag,             // none of 0xBE, 0xDE, 0xAD, 0xC0
    NoSignerValue,          // the table is empty
    NameIndexBeyondRecords, // a name names a record that was never written
    HashIndexBeyondRecords, // a member hash names a record that was never written
    HashMaxNotNameMax,      // names and hashes reach different highest signer values
    NameMaxNotLastValue,    // the last signer value is not the highest one names reach
};

// A short stable name for a rule ("hash-too-long") and a sentence for people.
struct LoadRuleText {
    const char* name;
    const char* description;
};
LoadRuleText DescribeLoadRule(LoadRule rule);
const char* LoadRuleName(LoadRule rule);
const char* EntryKindName(EntryKind kind);

struct LoadDiagnostics {
    LoadRule rule = LoadRule::None;
    EntryKind kind = EntryKind::Header;
    uint64_t offset = 0;   // where the entry starts (its tag); the end of the log for validation
    uint8_t tag = 0;       // the entry's tag byte
    korva::trace::Source source = korva::trace::Source::Engine;  // the trace event reported with the failure
    uint32_t trace = 0;
    uint64_t values[2] = {};  // the event's numbers (index and count, nameMax and hashMax, ...)
};

}  // namespace TarnVerifyTrustDriver
