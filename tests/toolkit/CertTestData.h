// Certificates the certificate tests read from the shared test data, and
// the scoped handles they decode them with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "toolkit/Certificate.h"
#include "toolkit/Context.h"

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

// A context with the given flags; flag 4 spares hand-made certificates,
// whose keys are not real, the key check.
class ScopedContext {
public:
    explicit ScopedContext(uint32_t flags);
    ~ScopedContext() { ContextFree(&context_); }
    ToolkitContext* get() const { return context_; }

private:
    ToolkitContext* context_ = nullptr;
};

// A certificate decoded under `context`; `set` is what the decoding answered.
struct OwnedCert {
    CertObject* cert = nullptr;
    Status set;
    OwnedCert(const Bytes& der, ToolkitContext* context);
    ~OwnedCert() { CertFree(&cert); }
    Status Encoding(uint32_t mode);
    CertFields Fields();
};

}  // namespace korva::toolkit::testing
