// The engine's toolkit context: the two service providers every signature
// check needs, with extension handling made tolerant of the extensions that
// code-signing certificates carry.
#pragma once

#include <cstdint>
#include <span>

#include "runtime/Allocator.h"
#include "toolkit/ExtensionTypeRegistry.h"
#include "toolkit/Providers.h"

namespace korva::toolkit {
struct ToolkitContext;
}

namespace TarnVerifyTrustDriver {

// The providers a context starts with: the certificate database (type 4)
// and path processing (type 6), in that order.
inline constexpr uint32_t kCertContextProviderCount = 2;

class CCertContext : public TAllocator<CCertContext> {
public:
    CCertContext() = default;
    virtual ~CCertContext();
    CCertContext(const CCertContext&) = delete;
    CCertContext& operator=(const CCertContext&) = delete;

    // Resets, creates the toolkit context with `records` and their `params`
    // (may be null), registers extensions 2.5.29.4 and 1.3.6.1.4.1.311.2.1.10
    // as criticality-free copies of the "UNKNOWN_TYPE" row and makes that row
    // criticality-free too: 1 started; 22 out of memory; 4 any other toolkit
    // failure, with the context left reset.
    uint32_t Start(std::span<const korva::toolkit::ProviderRecord, kCertContextProviderCount> records,
                   void* const* params = nullptr);
    // Releases the toolkit context; a context never started is left alone.
    void Reset();

    bool started() const { return started_; }
    korva::toolkit::ToolkitContext* context() const { return context_; }

private:
    // One of the three extension-type changes, traced and answered as Start.
    uint32_t Tolerate(uint32_t step);

    korva::toolkit::ToolkitContext* context_ = nullptr;
    korva::toolkit::ExtensionTypeInfo working_[3] = {};
    bool started_ = false;
};

}  // namespace TarnVerifyTrustDriver
