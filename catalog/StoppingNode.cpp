#include "catalog/StoppingNode.h"

namespace TarnVerifyTrustDriver {

uint32_t CStoppingNodeRecorder::OnNode(Asn1Node& node) {
    uint32_t answer = inner_.OnNode(node);
    if (!record_.seen && answer != kNodeContinue && answer != kNodeAccepted) {
        record_ = {true, answer, node.offset, node.depth, node.tagClass, node.tag, node.index, node.len};
    }
    return answer;
}

}  // namespace TarnVerifyTrustDriver
