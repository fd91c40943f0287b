// Certificates the certificate tests read from the shared test data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korva::toolkit::testing {

using Bytes = std::vector<uint8_t>;

struct TestCert {
    std::string origin;  // file name, and index within a catalog
    Bytes der;
};

// The trusted roots (../shared/roots/*.der), by file name; empty when absent.
std::vector<TestCert> LoadRootCerts();
// Every file of a shared directory with the given extension, sorted by name.
std::vector<TestCert> LoadSharedFiles(const std::string& directory, const std::string& extension);

}  // namespace korva::toolkit::testing
