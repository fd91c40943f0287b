// What the walker hands every element to. The callback decides from a node's
// position and OID flags what it means and whether the file is acceptable.
#pragma once

#include <cstdint>

#include "catalog/Asn1Node.h"

namespace TarnVerifyTrustDriver {

// Answers of OnNode. Any other value rejects the file and stops the walk.
inline constexpr uint32_t kNodeContinue = 0;
inline constexpr uint32_t kNodeAccepted = 1;
// Rejects the file but lets the walk go on, so the callback sees the rest.
inline constexpr uint32_t kNodeRejectAndContinue = 3;
inline constexpr uint32_t kNodeOutOfMemory = 1000;

// Which elements a callback needs to hear of. An element at `depth` or
// deeper whose tag number (30 at most) has no bit in `tags` is walked and
// checked like any other but not reported: a callback whose phase cares for
// a few kinds of element says so and spares the walk a call for each of the
// others. While the walk is traced, every element is reported.
struct NodeInterest {
    uint32_t depth = UINT32_MAX;
    uint32_t tags = 0;
};

class IAsn1NodeCallback {
public:
    // Read by the walker as a walk starts and after every report, so a
    // callback may change it from OnNode; every element unless changed.
    const NodeInterest& Interest() const { return interest_; }

    // Before the file is opened; non-zero ends the parse with result 22.
    virtual uint32_t OnParseBegin() = 0;
    // The callback may set the constructed bit of a primitive OCTET STRING,
    // so that the walker descends into the encoding it carries.
    virtual uint32_t OnNode(Asn1Node& node) = 0;
    virtual ~IAsn1NodeCallback() = default;

protected:
    NodeInterest interest_;
};

}  // namespace TarnVerifyTrustDriver
