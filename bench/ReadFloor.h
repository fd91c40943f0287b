// The least any build of the tree can cost: every byte read once and hashed
// once with libcrypto's SHA-256.
#pragma once

#include <filesystem>
#include <vector>

namespace korva::bench {

// Reads and hashes each file whole; the bytes read, 0 when a file cannot be.
uint64_t ReadAndHashAll(const std::vector<std::filesystem::path>& files);

}  // namespace korva::bench
