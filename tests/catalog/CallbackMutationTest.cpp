// Real catalogs cut short, with single octets changed and with structure-aware
// changes: the callback never crashes (this also runs under the sanitizers),
// and every mutant it accepts also verifies with libcrypto: content digest,
// signed attributes, signer signature and chain to the same root.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>

#include "catalog/RootTable.h"
#include "tests/catalog/CallbackTestSupport.h"
#include "tools/catgen/DerMutator.h"
#include "tools/peer/PeerVerifier.h"

namespace korva::catalog_test {
namespace {

using catgen::DerMutator;
using catgen::Mutation;

// Mutations per catalog: random ones cost a whole signature check when they
// still verify, so the suite runs 500 per catalog and 30 structure-aware ones
// per accepted catalog (100 and 10 under the sanitizers);
// KORVA_CALLBACK_MUTATIONS=2000 sets both for the full sweep.
int MutationCount(int usual, int sanitized) {
    if (const char* text = std::getenv("KORVA_CALLBACK_MUTATIONS")) return std::atoi(text);
#ifdef KORVA_SANITIZED
    return sanitized;
#else
    return usual;
#endif
}

// libcrypto's view, through the peer: the trust list's digest equals the
// message digest attribute, the signer's key opens the signature over the
// attributes, and the signer chains up to a code-signing root of the table.
// The facts, with that root and the members of the signed trust list, or nothing.
std::optional<peer::Facts> Libcrypto(const Bytes& catalog) {
    static const peer::PeerVerifier verifier(
        [] {
            std::vector<Bytes> roots;
            for (const TarnVerifyTrustDriver::RootRow& row : TarnVerifyTrustDriver::RootTable()) {
                if (TarnVerifyTrustDriver::RootGroup(row.id) == 1) roots.emplace_back(row.der, row.der + row.length);
            }
            return roots;
        }(),
        {}, true);
    peer::Facts facts = verifier.Inspect(catalog);
    if (!facts.contentDigest || !facts.signature || !facts.chain) return std::nullopt;
    return facts;
}

struct MutatedCatalog {
    const char* file;
    bool accepted;  // the unchanged catalog
};

TEST(CallbackMutationTest, TruncatedAndMutatedCatalogsNeverCrashAndAcceptedOnesVerify) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    const MutatedCatalog cases[] = {
        {"zerotier_zttap300_x86.cat", true},      // WHQL, RFC 3161 token
        {"missionplanner_stmcdc.cat", true},      // vendor, PKCS #9 countersignature
        {"usbipd_VBoxUSB_20220814.cat", true},    // SHA-256 signer
        {"zerotier_zttap100_x86.cat", false},     // unsigned
        {"espressif_esp-prog.cat", false},        // self-signed signer
    };
    RootAnchors anchors;
    std::mt19937 random(20010324);
    const int mutations = MutationCount(500, 100);
    for (const MutatedCatalog& c : cases) {
        SCOPED_TRACE(c.file);
        Bytes original = ReadFile(std::filesystem::path(KORVA_SHARED_DIR) / "realcats" / c.file);
        auto accepts = [&](const Bytes& bytes) { return RunCallback(bytes, anchors.set()).accepted; };
        ASSERT_EQ(accepts(original), c.accepted);
        if (c.accepted) {
            ASSERT_TRUE(Libcrypto(original));
        }
        for (size_t size = 0; size < original.size(); ++size) {
            EXPECT_FALSE(accepts(Bytes(original.begin(), original.begin() + size))) << size;
        }
        int acceptedMutants = 0;
        for (int i = 0; i < mutations; ++i) {
            Bytes mutant = original;
            size_t at = random() % mutant.size();
            mutant[at] = static_cast<uint8_t>(mutant[at] ^ (1 + random() % 255));
            if (!accepts(mutant)) continue;
            ++acceptedMutants;
            EXPECT_TRUE(Libcrypto(mutant)) << "octet " << at;
        }
        if (!c.accepted) {
            EXPECT_EQ(acceptedMutants, 0);
        }
    }
}

// Every accepted real catalog, mutated every way DerMutator knows, hashes
// written into its unsigned places among them: an accepted mutant must
// verify with libcrypto up to the same root as the original and yield
// exactly the members libcrypto reads from the signed trust list.
TEST(CallbackMutationTest, StructuredMutantsOfEveryAcceptedCatalogVerifyWhenAccepted) {
    KORVA_REAL_CATALOGS_OR_SKIP(catalogs);
    const std::map<std::string, ExpectedCatalog> expected = ExpectedRealCatalogs();
    ASSERT_FALSE(expected.empty());
    RootAnchors anchors;
    std::mt19937 random(19970110);
    const int mutations = MutationCount(30, 10);
    constexpr size_t kKinds = static_cast<size_t>(Mutation::kCount);
    std::array<int, kKinds> made{}, accepted{}, agreeing{};
    int checked = 0, unstructured = 0;
    for (const std::filesystem::path& path : catalogs) {
        auto found = expected.find(path.filename().string());
        if (found == expected.end() || !found->second.accepted) continue;
        SCOPED_TRACE(path.filename().string());
        const Bytes original = ReadFile(path);
        const CallbackOutcome base = RunCallback(original, anchors.set());
        ASSERT_TRUE(base.accepted);
        const std::optional<peer::Facts> facts = Libcrypto(original);
        ASSERT_TRUE(facts) << "libcrypto does not verify the unchanged catalog";
        ASSERT_EQ(base.members, HexStrings(facts->memberHashes));
        const Bytes& root = facts->root;
        const DerMutator mutator(original);
        ++checked;
        if (!mutator.structured()) ++unstructured;
        for (int i = 0; i < mutations; ++i) {
            const auto kind = static_cast<Mutation>(random() % kKinds);
            const Bytes mutant = mutator.Mutate(kind, random);
            const size_t k = static_cast<size_t>(kind);
            ++made[k];
            const CallbackOutcome result = RunCallback(mutant, anchors.set());
            if (!result.accepted) continue;
            ++accepted[k];
            const std::optional<peer::Facts> seen = Libcrypto(mutant);
            const bool agrees = seen && seen->root == root && result.members == HexStrings(seen->memberHashes);
            EXPECT_TRUE(agrees) << NameOf(kind) << " mutant " << i << ": libcrypto "
                                << (!seen ? "refuses it" : seen->root != root ? "chains it to another root"
                                                                             : "agrees, but the members differ");
            if (!agrees && std::getenv("KORVA_MUTANT_DIR") != nullptr) {
                std::ofstream(std::filesystem::path(std::getenv("KORVA_MUTANT_DIR")) /
                                  (path.filename().string() + "." + std::to_string(i)),
                              std::ios::binary)
                    .write(reinterpret_cast<const char*>(mutant.data()), static_cast<std::streamsize>(mutant.size()));
            }
            agreeing[k] += agrees ? 1 : 0;
        }
    }
    EXPECT_GT(checked, 0);
    std::cout << "[ mutants  ] " << checked << " accepted catalogs (" << unstructured << " without structure), "
              << mutations << " mutants each\n";
    for (size_t k = 0; k < kKinds; ++k) {
        std::cout << "[ mutants  ] " << NameOf(static_cast<Mutation>(k)) << ": " << made[k] << " made, " << accepted[k]
                  << " accepted, " << agreeing[k] << " agree with libcrypto\n";
    }
}

}  // namespace
}  // namespace korva::catalog_test
