// Records where a callback stopped or rejected a walk: it passes every
// element on to the callback it wraps and keeps the first one answered with
// anything but "go on" or "accepted". For tools that explain a verdict.
#pragma once

#include <cstdint>

#include "catalog/Asn1NodeCallback.h"

namespace TarnVerifyTrustDriver {

struct StoppingNode {
    bool seen = false;  // false: the callback never refused an element
    uint32_t answer = 0;
    uint32_t offset = 0;
    uint32_t depth = 0;
    uint32_t tagClass = 0;
    uint32_t tag = 0;
    uint32_t index = 0;
    uint32_t length = 0;  // of the element's content
};

class CStoppingNodeRecorder : public IAsn1NodeCallback {
public:
    CStoppingNodeRecorder(IAsn1NodeCallback& inner, StoppingNode& record) : inner_(inner), record_(record) {}

    uint32_t OnParseBegin() override { return inner_.OnParseBegin(); }
    uint32_t OnNode(Asn1Node& node) override;

private:
    IAsn1NodeCallback& inner_;
    StoppingNode& record_;
};

}  // namespace TarnVerifyTrustDriver
