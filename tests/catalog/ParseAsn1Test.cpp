#include "platform/TraceRecorder.h"
#include "catalog/ParseAsn1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

#include "catalog/KnownOids.h"
#include "platform/Trace.h"
#include "tests/catalog/CatalogTestSupport.h"
#include "tools/catgen/Der.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::catalog_test::Bytes;
using korva::catalog_test::NodeRecord;
using korva::catalog_test::RecordingCallback;

uint32_t Walk(const Bytes& input, IAsn1NodeCallback* callback = nullptr) {
    ParserStack stack;
    EXPECT_TRUE(stack.IsValid());
    uint32_t result = ParseAsn1(nullptr, &stack, input.data(), static_cast<uint32_t>(input.size()), callback);
    EXPECT_EQ(stack.Top(), nullptr);
    return result;
}

// Runs `body` on a thread with a machine stack of `size` octets.
bool RunOnSmallStack(size_t size, std::function<void()> body) {
#if defined(_WIN32)
    HANDLE thread = CreateThread(
        nullptr, size, [](void* f) -> DWORD { return (*static_cast<std::function<void()>*>(f))(), 0; }, &body,
        STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) return false;
    WaitForSingleObject(thread, INFINITE);
    return CloseHandle(thread) != 0;
#else
    pthread_attr_t attributes;
    pthread_t thread;
    if (pthread_attr_init(&attributes) != 0) return false;
    bool started = pthread_attr_setstacksize(&attributes, size) == 0 &&
                   pthread_create(&thread, &attributes, [](void* f) -> void* {
                       return (*static_cast<std::function<void()>*>(f))(), nullptr;
                   }, &body) == 0;
    pthread_attr_destroy(&attributes);
    return started && pthread_join(thread, nullptr) == 0;
#endif
}

// SEQUENCE { OID } whose contents are `length` octets of 1.
Bytes OidOfLength(size_t length) {
    Bytes oid(length + 4, 0x01);
    oid[0] = 0x30, oid[1] = static_cast<uint8_t>(length + 2), oid[2] = 0x06, oid[3] = static_cast<uint8_t>(length);
    return oid;
}

TEST(ParseAsn1, AcceptsAndRefusesByTheEncodingRules) {
    const struct Case {
        const char* name;
        Bytes input;
        uint32_t result;
    } cases[] = {
        {"one byte", {0x30}, 11},
        {"bad length form", {0x30, 0x85, 0, 0, 0, 0, 1}, 11},
        {"bytes behind the outermost element", {0x30, 0x02, 0x05, 0x00, 0xFF, 0xFF, 0x00}, 1},
        {"primitive tag 21", {0x30, 0x02, 0x15, 0x00}, 11},
        {"primitive tag 13", {0x30, 0x02, 0x0D, 0x00}, 11},
        {"primitive tag 0", {0x30, 0x02, 0x00, 0x00}, 11},
        {"empty BOOLEAN", {0x30, 0x02, 0x01, 0x00}, 1},
        {"empty SEQUENCE, SET, [0]", {0x30, 0x06, 0x30, 0x00, 0x31, 0x00, 0xA0, 0x00}, 1},
        {"empty private constructed", {0x30, 0x02, 0xE0, 0x00}, 11},
        {"empty application SEQUENCE", {0x30, 0x02, 0x70, 0x00}, 11},
        {"non-empty private constructed", {0x30, 0x04, 0xE1, 0x02, 0x05, 0x00}, 1},
        {"application constructed, tag 3", {0x30, 0x04, 0x63, 0x02, 0x05, 0x00}, 11},
        {"OID of length 1", {0x30, 0x03, 0x06, 0x01, 0x2A}, 11},
        {"OID of length 2", OidOfLength(2), 1},
        {"OID of length 32", OidOfLength(32), 1},
        {"OID of length 33", OidOfLength(33), 11},
        {"OID with an unended last subidentifier", {0x30, 0x05, 0x06, 0x03, 0x2A, 0x03, 0x81}, 11},
        {"OID with a padded subidentifier", {0x30, 0x05, 0x06, 0x03, 0x2A, 0x80, 0x01}, 11},
        {"OID with a multi-octet subidentifier", {0x30, 0x05, 0x06, 0x03, 0x2A, 0x81, 0x00}, 1},
        // 2A 83 00 and 2A 83 are the same words, told apart by their lengths.
        {"unended OID behind its longer twin", {0x30, 0x09, 0x06, 0x03, 0x2A, 0x83, 0x00, 0x06, 0x02, 0x2A, 0x83}, 11},
        {"context-specific tag 6", {0x30, 0x04, 0x86, 0x02, 0x2A, 0x03}, 11},
        {"constructed OCTET STRING", {0x30, 0x04, 0x24, 0x02, 0x04, 0x00}, 1},
        {"constructed BIT STRING", {0x30, 0x04, 0x23, 0x02, 0x03, 0x00}, 11},
        {"constructed UTF8String", {0x30, 0x04, 0x2C, 0x02, 0x0C, 0x00}, 11},
        {"context primitive, any tag", {0x30, 0x03, 0x9F, 0x6F, 0x00}, 1},
        {"application primitive tag 21", {0x30, 0x02, 0x55, 0x00}, 11},
        {"private primitive tag 2", {0x30, 0x03, 0xC2, 0x01, 0x00}, 1},
        {"descend with a 6-octet header", {0x30, 0x84, 0, 0, 0, 2, 0x05, 0x00}, 1},
        {"descend with a 7-octet header", {0xBF, 0x1F, 0x84, 0, 0, 0, 2, 0x05, 0x00}, 11},
        {"primitive with an 8-octet header", {0x9F, 0x81, 0x00, 0x84, 0, 0, 0, 1, 0xAA}, 1},
        {"primitive with a 9-octet header", {0x9F, 0x81, 0x80, 0x00, 0x84, 0, 0, 0, 1, 0xAA}, 11},
        {"outermost indefinite", {0x30, 0x80, 0x05, 0x00, 0x00, 0x00}, 1},
        {"nested indefinite", {0x30, 0x80, 0x30, 0x80, 0x05, 0x00, 0x00, 0x00, 0x00, 0x00}, 11},
        {"child runs past its parent", {0x30, 0x03, 0x30, 0x03, 0x05, 0x00, 0x05, 0x00}, 11},
        {"empty input", {}, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(Walk(c.input), c.result) << c.name;
}

// Positions and OID flags of every element; a callback hears only of the
// elements it takes an interest in, the others are still checked, and their
// OIDs still set the flags of what it hears. While the walk is traced it
// hears of every element.
TEST(ParseAsn1, ReportsPositionsOidFlagsAndTheElementsOfInterest) {
    // SEQUENCE { SEQUENCE { OID sha1, NULL }, OID md5, [0] { NULL } }
    const Bytes input = {0x30, 0x19, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00,
                         0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05, 0xA0, 0x02, 0x05, 0x00};
    // SEQUENCE { SEQUENCE { [13] primitive, refused } }
    const Bytes refused = {0x30, 0x04, 0x30, 0x02, 0x0D, 0x00};
    struct Row {
        NodeInterest interest;
        std::vector<size_t> heard;  // positions among the seven elements
    };
    const Row rows[] = {
        {{}, {0, 1, 2, 3, 4, 5, 6}},
        {{1, 1u << 6}, {0, 2, 4}},
        {{2, 1u << 5}, {0, 1, 3, 4, 5, 6}},
        {{0, 0}, {}},
    };
    RecordingCallback all;
    ASSERT_EQ(Walk(input, &all), 1u);
    const std::vector<NodeRecord> expected = {
        {0, 0, 16, 0x20, 0, 25}, {1, 0, 16, 0x20, 2, 9}, {2, 0, 6, 0x00, 4, 5}, {2, 1, 5, 0x00, 11, 0},
        {1, 1, 6, 0x00, 13, 8},  {1, 2, 0, 0xA0, 23, 2}, {2, 0, 5, 0x00, 25, 0},
    };
    EXPECT_EQ(all.nodes, expected);
    // The flags of a level end with it; siblings that follow see what their level met.
    EXPECT_EQ(all.oidFlags, (std::vector<uint32_t>{0, 0, kOidSha1, kOidSha1, kOidMd5, kOidMd5, kOidMd5}));
    for (const Row& row : rows) {
        for (bool traced : {false, true}) {
            std::optional<korva::trace::Recorder> recorder;
            if (traced) recorder.emplace();
            RecordingCallback callback;
            callback.Want(row.interest);
            EXPECT_EQ(Walk(input, &callback), 1u);
            std::vector<NodeRecord> nodes;
            std::vector<uint32_t> flags;
            for (size_t i = 0; i < all.nodes.size(); ++i) {
                if (!traced && std::find(row.heard.begin(), row.heard.end(), i) == row.heard.end()) continue;
                nodes.push_back(all.nodes[i]);
                flags.push_back(all.oidFlags[i]);
            }
            EXPECT_EQ(callback.nodes, nodes) << row.interest.depth << " " << traced;
            EXPECT_EQ(callback.oidFlags, flags) << row.interest.depth << " " << traced;

            RecordingCallback unheard;
            unheard.Want(row.interest);
            EXPECT_EQ(Walk(refused, &unheard), 11u) << row.interest.depth << " " << traced;
        }
    }
    // A tag number above 30 has no bit: such an element is always heard.
    const Bytes highTag = {0x30, 0x03, 0x9F, 0x1F, 0x00};  // SEQUENCE { [31] primitive }
    RecordingCallback callback;
    callback.Want({0, 0});
    EXPECT_EQ(Walk(highTag, &callback), 1u);
    EXPECT_EQ(callback.nodes, std::vector<NodeRecord>({{1, 0, 31, 0x80, 2, 0}}));
}

TEST(ParseAsn1, ActsOnEveryCallbackAnswer) {
    const Bytes input = {0x30, 0x06, 0x30, 0x02, 0x05, 0x00, 0x05, 0x00};  // four nodes
    struct Row {
        uint32_t answer;
        uint32_t result;
        size_t nodesSeen;
    };
    const Row rows[] = {{0, 1, 4}, {1, 1, 4}, {3, 11, 4}, {1000, 22, 2}, {2, 11, 2}, {7, 11, 2}};
    for (const Row& row : rows) {
        korva::trace::Recorder recorder;
        RecordingCallback callback;
        callback.answerAt = 1;
        callback.answer = row.answer;
        EXPECT_EQ(Walk(input, &callback), row.result) << row.answer;
        EXPECT_EQ(callback.nodes.size(), row.nodesSeen) << row.answer;
        bool rejection = row.answer != 0 && row.answer != 1 && row.answer != 1000;
        EXPECT_EQ(recorder.Has(korva::trace::Source::Asn1, 35), rejection) << row.answer;
    }
}

TEST(ParseAsn1, RefusesNestingBeyond255LevelsWithoutMachineStack) {
    RecordingCallback callback;
    EXPECT_EQ(Walk(korva::catgen::NestedSequences(254), &callback), 1u);
    EXPECT_EQ(std::get<0>(callback.nodes.back()), 254u);
    korva::trace::Recorder recorder;
    EXPECT_EQ(Walk(korva::catgen::NestedSequences(255)), 11u);
    EXPECT_TRUE(recorder.Has(korva::trace::Source::Asn1, 70));
    // 100,000 definite levels and 1,000 indefinite ones (each indefinite
    // header measures everything inside it), on a 64 KiB stack.
    const Bytes definite = korva::catgen::NestedSequences(100000);
    Bytes indefinite(4000, 0x00);
    for (size_t i = 0; i < 2000; i += 2) indefinite[i] = 0x30, indefinite[i + 1] = 0x80;
    uint32_t results[2] = {};
    ASSERT_TRUE(RunOnSmallStack(64 * 1024, [&] {
        results[0] = Walk(definite);
        results[1] = Walk(indefinite);
    }));
    EXPECT_EQ(results[0], kWalkRejected);  // refused at 255 levels
    EXPECT_EQ(results[1], kWalkRejected);  // nested indefinite lengths are refused
    EXPECT_EQ(ParseAsn1(nullptr, nullptr, definite.data(), 2, nullptr), kWalkOutOfMemory);  // no stack
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
