// Any bytes through the walker, once without a callback and once with one
// that checks every node: it must return a walk result, every node must lie
// inside the input, and both runs must agree. Then twice with callbacks that
// only listen, one to every node and one with an interest drawn from the
// input: the second hears exactly the first's nodes its interest names, and
// both walks end alike.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "catalog/ParseAsn1.h"

namespace {

using namespace TarnVerifyTrustDriver;

class CheckingCallback : public IAsn1NodeCallback {
public:
    CheckingCallback(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint32_t OnParseBegin() override { return 0; }
    uint32_t OnNode(Asn1Node& node) override {
        size_t start = node.offset;
        if (node.start != data_ + start || node.value != node.start + node.headerLength) std::abort();
        if (start + node.headerLength + uint64_t{node.len} > size_) std::abort();
        if (node.offset < lastOffset_) std::abort();  // document order
        lastOffset_ = node.offset;
        ++nodes;
        // Reject now and then, to drive the answer paths as well.
        return (node.offset % 97 == 13) ? kNodeRejectAndContinue : kNodeContinue;
    }
    size_t nodes = 0;

private:
    const uint8_t* data_;
    size_t size_;
    uint32_t lastOffset_ = 0;
};

// Remembers where each node lay; answers nothing but go on.
class ListeningCallback : public IAsn1NodeCallback {
public:
    explicit ListeningCallback(NodeInterest interest) { interest_ = interest; }
    uint32_t OnParseBegin() override { return 0; }
    uint32_t OnNode(Asn1Node& node) override {
        heard.push_back({node.offset, node.depth, node.tag});
        return kNodeContinue;
    }
    struct Heard {
        uint32_t offset, depth, tag;
        bool operator==(const Heard&) const = default;
    };
    std::vector<Heard> heard;
};

bool IsWalkResult(uint32_t result) {
    return result == kWalkSuccess || result == kWalkRejected || result == kWalkOutOfMemory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    ParserStack plain;
    uint32_t bare = ParseAsn1(nullptr, &plain, data, static_cast<uint32_t>(size), nullptr);
    ParserStack watched;
    CheckingCallback callback(data, size);
    uint32_t checked = ParseAsn1(nullptr, &watched, data, static_cast<uint32_t>(size), &callback);
    if (!IsWalkResult(bare) || !IsWalkResult(checked)) std::abort();
    // A callback that only rejects-and-continues cannot make a bad file good.
    if (bare == kWalkRejected && checked == kWalkSuccess) std::abort();
    if (bare == kWalkSuccess && checked != kWalkSuccess && checked != kWalkRejected) std::abort();

    if (size < 5) return 0;
    const NodeInterest interest{data[0] % 8u, static_cast<uint32_t>(data[1] | data[2] << 8 | data[3] << 16 | data[4] << 24)};
    ListeningCallback all({}), some(interest);
    ParserStack first, second;
    uint32_t allResult = ParseAsn1(nullptr, &first, data, static_cast<uint32_t>(size), &all);
    uint32_t someResult = ParseAsn1(nullptr, &second, data, static_cast<uint32_t>(size), &some);
    if (allResult != bare || someResult != bare) std::abort();
    std::vector<ListeningCallback::Heard> expected;
    for (const ListeningCallback::Heard& node : all.heard) {
        bool named = node.tag > 30 || ((interest.tags >> node.tag) & 1u) != 0;
        if (node.depth < interest.depth || named) expected.push_back(node);
    }
    if (expected != some.heard) std::abort();
    return 0;
}
