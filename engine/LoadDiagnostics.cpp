#include "engine/LoadDiagnostics.h"

namespace TarnVerifyTrustDriver {

LoadRuleText DescribeLoadRule(LoadRule rule) {
    switch (rule) {
        case LoadRule::None: return {"none", "the file loads"};
        case LoadRule::SizeUnknown: return {"size-unknown", "the file cannot tell its size"};
        case LoadRule::BadMagic: return {"bad-magic", "the header's magic is not 222"};
        case LoadRule::BadVersion: return {"bad-version", "the header's version is not 8"};
        case LoadRule::DirtyHeader: return {"dirty-header", "the header is dirty: the last save never finished"};
        case LoadRule::RecordTruncated: return {"record-truncated", "the record's fields end before the file does"};
        case LoadRule::RecordIndexOutOfRange: return {"record-index-out-of-range", "the record index is 0xFFFFFFFF or more, or far beyond the records before it"};
        case LoadRule::RecordsNotGrown: return {"records-not-grown", "no memory for the records up to this index"};
        case LoadRule::NameUnreadable: return {"name-unreadable", "the name has a byte count of 0, is cut short or holds no path"};
        case LoadRule::NameIndexInvalid: return {"name-index-invalid", "the name's record index is missing or 0xFFFFFFFF"};
        case LoadRule::NameNotInserted: return {"name-not-inserted", "no memory for the name map"};
        case LoadRule::HashTooLong: return {"hash-too-long", "the hash length is above 32"};
        case LoadRule::HashTruncated: return {"hash-truncated", "the hash bytes are cut short"};
        case LoadRule::HashIndexInvalid: return {"hash-index-invalid", "the hash's record index is missing or 0xFFFFFFFF"};
        case LoadRule::HashNotInserted: return {"hash-not-inserted", "no memory for the hash map"};
        case LoadRule::SignerValueTruncated: return {"signer-value-truncated", "the signer value runs past the end of the file"};
        case LoadRule::SignerValueTableFull: return {"signer-value-table-full", "a 255th signer value: the table holds at most 254"};
        case LoadRule::SignerValueNotAppended: return {"signer-value-not-appended", "no memory for the signer value table"};
        case LoadRule::SignerValueNotIndexed: return {"signer-value-not-indexed", "no memory for the signer value index"};
        case LoadRule::UnknownTag: return {"unknown-tag", "the tag is none of 0xBE, 0xDE, 0xAD, 0xC0"};
        case LoadRule::NoSignerValue: return {"no-signer-value", "the file holds no signer value"};
        case LoadRule::NameIndexBeyondRecords: return {"name-index-beyond-records", "a name refers to a record the file never wrote"};
        case LoadRule::HashIndexBeyondRecords: return {"hash-index-beyond-records", "a member hash refers to a record the file never wrote"};
        case LoadRule::HashMaxNotNameMax: return {"hashmax-not-namemax", "hashMax differs from nameMax: names and member hashes reach different highest signer values"};
        case LoadRule::NameMaxNotLastValue: return {"namemax-not-last-signer-value", "nameMax is not the last signer value's index"};
    }
    return {"unknown", "unknown rule"};
}

const char* LoadRuleName(LoadRule rule) { return DescribeLoadRule(rule).name; }

const char* EntryKindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::Header: return "header";
        case EntryKind::Record: return "record";
        case EntryKind::Name: return "name";
        case EntryKind::Hash: return "hash";
        case EntryKind::SignerValue: return "signer-value";
        case EntryKind::UnknownTag: return "unknown-tag";
        case EntryKind::Validation: return "validation";
    }
    return "unknown";
}

}  // namespace TarnVerifyTrustDriver
