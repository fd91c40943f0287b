#include "tools/cattool/PeImage.h"

#include <gtest/gtest.h>

#include "tests/cattool/TestPe.h"

namespace korva::cattool::test {
namespace {

// The ranges of a well-formed image are checked through its digest: against
// osslsigncode's (LookupOracle) and the fixture's independent ones (the lookup
// cases). What remains are the edges those images do not have.

// Headers that end right after the checksum field, with no certificate
// entry, leave no header range behind it: the first section comes next.
TEST(PeImage, HeadersEndingAtTheChecksumLeaveNoSecondHeaderRange) {
    TestPe pe = MakeTestPe({}, 0);
    PutLe(pe.bytes, pe.checkSum - 4, pe.checkSum + 4, 4);     // SizeOfHeaders
    PutLe(pe.bytes, pe.checkSum + 44, 4, 4);                   // NumberOfRvaAndSizes: no certificate entry
    ImageLayout layout = LayOutImage(pe.bytes);
    ASSERT_EQ(layout.kind, ImageKind::Pe) << (layout.problem ? layout.problem : "");
    ASSERT_GE(layout.ranges.size(), 2u);
    EXPECT_EQ(layout.ranges[0].size, pe.checkSum);
    EXPECT_EQ(layout.ranges[1].offset, 0x200u);
}

TEST(PeImage, TakesEveryByteOfAFileThatIsNoImage) {
    for (std::vector<uint8_t> bytes : {std::vector<uint8_t>{}, std::vector<uint8_t>{'M'}, std::vector<uint8_t>(100, 'M')}) {
        ImageLayout layout = LayOutImage(bytes);
        EXPECT_EQ(layout.kind, ImageKind::Flat);
        ASSERT_EQ(layout.ranges.size(), 1u);
        EXPECT_EQ(layout.ranges[0].size, bytes.size());
    }
    TestPe pe = MakeTestPe({}, 0);
    pe.bytes[0x41] = 'X';  // no "PE\0\0" where e_lfanew points
    EXPECT_EQ(LayOutImage(pe.bytes).kind, ImageKind::Flat);
}

TEST(PeImage, NamesWhatDoesNotHoldTogetherInAMalformedImage) {
    struct Case {
        const char* what;
        size_t offset;
        uint64_t value;
        size_t size;
        size_t cut;  // bytes to keep, 0: all
    };
    const Case cases[] = {
        {"cut inside the COFF header", 0, 0, 0, 0x50},
        {"unknown magic", 0x58, 0x30B, 2, 0},
        {"optional header too small", 0x54, 64, 2, 0},
        {"SizeOfHeaders beyond the file", 0x58 + 60, 0x10000, 4, 0},
        {"SizeOfHeaders inside the directories", 0x58 + 60, 0x60, 4, 0},
        {"section data beyond the file", 0x148 + 20, 0x500, 4, 0},
        {"certificates beyond the file", 0x58 + 144, 0x500, 4, 0},
        {"section table beyond the file", 0x44 + 2, 0xFFFF, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestPe pe = MakeTestPe({}, 0);
        if (c.size != 0) PutLe(pe.bytes, c.offset, c.value, c.size);
        if (c.what == cases[6].what) PutLe(pe.bytes, c.offset + 4, 0x100, 4);
        if (c.cut != 0) pe.bytes.resize(c.cut);
        ImageLayout layout = LayOutImage(pe.bytes);
        EXPECT_EQ(layout.kind, ImageKind::Malformed);
        EXPECT_NE(layout.problem, nullptr);
        ASSERT_EQ(layout.ranges.size(), 1u);
        EXPECT_EQ(layout.ranges[0].size, pe.bytes.size());
    }
}

}  // namespace
}  // namespace korva::cattool::test
