// The certificate trust list a catalog signs: its usage, identifier, time and
// one entry per member file, each with the name/value attributes and the
// indirect-data attribute that real catalogs carry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/catgen/Der.h"

namespace korva::catgen {

enum class MemberHash { kSha1, kSha256, kMd5 };

struct Member {
    std::string fileName;   // the "File" name/value attribute
    Bytes hash;             // 20, 32 or 16 octets for the kind below
    MemberHash kind = MemberHash::kSha1;
    bool peImage = false;   // a PE image rather than a flat file
};

// `count` members named fileNNNN.sys with the hash of a content derived from
// their name, so the same options always give the same members.
std::vector<Member> SyntheticMembers(size_t count, MemberHash kind);
// A member for a file on disk, hashed as a flat file.
bool MemberFromFile(const std::string& path, MemberHash kind, Member& member);

struct TrustListOptions {
    std::vector<Member> members;
    Bytes listIdentifier;           // empty: 16 octets derived from the members
    int64_t thisUpdate = 1600000000;
    std::string osAttribute = "2:10.0";
};

// The members in the order a trust list holds them: by subject identifier,
// as catalog tools write them.
std::vector<Member> SortedMembers(const std::vector<Member>& members);

// The trust list SEQUENCE over SortedMembers(options.members).
Bytes BuildTrustList(const TrustListOptions& options);

}  // namespace korva::catgen
