// The members of a catalog's trust list as explain --members shows them: the
// hash each member's indirect data carries and the file name its "File"
// name/value attribute gives, found by the engine's walker.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korva::cattool {

struct CatalogMember {
    std::vector<uint8_t> hash;  // empty when the member carries no SHA-1 or SHA-256 digest
    std::string file;           // UTF-8; empty when the member names no file
};

std::vector<CatalogMember> CatalogMembersOf(std::span<const uint8_t> catalog);
// The same for the catalog file at `path`; none when it cannot be read.
std::vector<CatalogMember> ReadCatalogMembers(const std::wstring& path);

}  // namespace korva::cattool
