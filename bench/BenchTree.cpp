#include "bench/BenchTree.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "tools/catgen/Catalog.h"

namespace korva::bench {

namespace {

namespace fs = std::filesystem;
using catgen::Malformation;
using catgen::Timestamp;

constexpr const char* kPackageDirectory = "{F750E6C3-38EE-11D1-85E5-00C04FC295EE}";
constexpr const char* kOtherDirectory = "{127D0A1D-4EF2-11D1-8608-00C04FC295EE}";
constexpr int kSignerChains = 5;
constexpr int kCodeSigningRoots = 3;
constexpr int kTimeStampingChains = 2;
// Shared member hashes: the same file listed by several catalogs.
constexpr size_t kSharedHashes = 1000;

// splitmix64: the same sequence on every platform and library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t bound) { return static_cast<size_t>(Next() % bound); }
    size_t Between(size_t low, size_t high) { return low + Below(high - low + 1); }

private:
    uint64_t state_;
};

// The chains made once per tree: generating keys is what costs.
struct Pki {
    std::vector<catgen::Identity> roots;
    std::vector<catgen::Chain> signers;
    catgen::Identity tsaRoot;
    std::vector<catgen::Chain> timeStampers;
    catgen::Chain untrustedSigner;
    catgen::Chain selfSignedSigner;
};

Pki MakePki(const TreeOptions& tree) {
    Pki pki;
    catgen::SetKeyBits(tree.rootKeyBits);
    for (int r = 0; r < kCodeSigningRoots; ++r) {
        std::string n = std::to_string(r + 1);
        pki.roots.push_back(catgen::TestRoot("bench-root-" + n, "Korva Bench Root " + n));
    }
    pki.tsaRoot = catgen::TestRoot("bench-tsa-root", "Korva Bench Time-Stamping Root");
    catgen::SetKeyBits(tree.keyBits);
    for (int c = 0; c < kSignerChains; ++c) {
        catgen::ChainOptions options;
        options.name = "bench" + std::to_string(c + 1);
        options.intermediates = 1 + c % 2;
        options.digest = c % 3 == 2 ? catgen::Digest::kSha1 : catgen::Digest::kSha256;
        pki.signers.push_back(catgen::BuildChain(pki.roots[c % kCodeSigningRoots], options));
    }
    for (int c = 0; c < kTimeStampingChains; ++c) {
        catgen::ChainOptions options;
        options.role = catgen::ChainRole::kTimeStamping;
        options.name = "bench" + std::to_string(c + 1);
        options.intermediates = 1 + c;
        pki.timeStampers.push_back(catgen::BuildChain(pki.tsaRoot, options));
    }
    catgen::ChainOptions odd;
    odd.name = "bench-odd";
    pki.untrustedSigner = catgen::SignerChainFor(pki.roots[0], odd, Malformation::kUntrustedRoot);
    pki.selfSignedSigner = catgen::SignerChainFor(pki.roots[0], odd, Malformation::kSelfSignedSigner);
    return pki;
}

// Most catalogs list a handful of files, some hundreds, a few thousands.
size_t MemberCount(Random& random) {
    size_t roll = random.Below(1000);
    if (roll < 880) return random.Between(1, 20);
    if (roll < 998) return random.Between(100, 999);
    return random.Between(5001, 8000);
}

catgen::MemberHash MemberKind(size_t catalog, size_t member, int mix) {
    if (mix == 0) return catgen::MemberHash::kSha1;
    if (mix == 1) return catgen::MemberHash::kSha256;
    return (catalog + member) % 2 == 0 ? catgen::MemberHash::kSha1 : catgen::MemberHash::kSha256;
}

Bytes Seeded(uint64_t seed, size_t catalog, size_t member) {
    std::string text = std::to_string(seed) + "/" + std::to_string(catalog) + "/" + std::to_string(member);
    return Bytes(text.begin(), text.end());
}

std::vector<catgen::Member> Members(uint64_t seed, size_t catalog, size_t count, int mix, Random& random) {
    std::vector<catgen::Member> members;
    members.reserve(count);
    for (size_t m = 0; m < count; ++m) {
        catgen::Member member;
        member.kind = MemberKind(catalog, m, mix);
        char name[64];
        std::snprintf(name, sizeof name, "c%zu_%zu.%s", catalog, m, m % 3 == 0 ? "dll" : "sys");
        member.fileName = name;
        member.peImage = m % 3 == 0;
        bool shared = random.Below(50) == 0;
        Bytes content = shared ? Seeded(seed, SIZE_MAX, random.Below(kSharedHashes)) : Seeded(seed, catalog, m);
        member.hash = catgen::Hash(member.kind == catgen::MemberHash::kSha1 ? catgen::Digest::kSha1
                                                                           : catgen::Digest::kSha256,
                                   content);
        members.push_back(std::move(member));
    }
    return members;
}

std::string Upper(const std::string& text) {
    std::string out = text;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// The engine scans the package directory first, each in NTFS order.
bool ScanOrder(const TreeCatalog& a, const TreeCatalog& b) {
    bool aFirst = a.path.parent_path().filename() == kPackageDirectory;
    bool bFirst = b.path.parent_path().filename() == kPackageDirectory;
    if (aFirst != bFirst) return aFirst;
    return Upper(a.path.filename().string()) < Upper(b.path.filename().string());
}

}  // namespace

const std::vector<Malformation>& TreeRefusals() {
    static const std::vector<Malformation> refusals = {
        Malformation::kBadContentDigest, Malformation::kBadMessageDigest, Malformation::kBadSignature,
        Malformation::kBrokenChain,      Malformation::kUntrustedRoot,    Malformation::kSelfSignedSigner,
        Malformation::kUnsigned,         Malformation::kBadCountersignature, Malformation::kBadTimestampImprint,
    };
    return refusals;
}

bool GenerateTree(const TreeOptions& options, const fs::path& directory, Tree& tree, std::string& error) {
    std::error_code ec;
    fs::remove_all(directory, ec);
    tree = Tree();
    tree.systemDirectory = directory / "System32";
    const fs::path catRoot = tree.systemDirectory / "CatRoot";
    fs::create_directories(catRoot / kPackageDirectory, ec);
    fs::create_directories(catRoot / kOtherDirectory, ec);
    if (ec) {
        error = "cannot create " + catRoot.string() + ": " + ec.message();
        return false;
    }
    if (!options.keyDirectory.empty()) {
        fs::create_directories(options.keyDirectory, ec);
        catgen::SetKeyDirectory(options.keyDirectory);
    }
    const Pki pki = MakePki(options);
    for (const catgen::Identity& root : pki.roots) tree.codeSigningRoots.push_back(catgen::CertificateDer(root.cert));
    tree.timeStampingRoots.push_back(catgen::CertificateDer(pki.tsaRoot.cert));

    Random random(options.seed);
    const std::vector<Malformation>& refusals = TreeRefusals();
    const size_t total = options.catalogs + (options.packageMembers > 0 ? 1 : 0);
    for (size_t i = 0; i < total; ++i) {
        const bool package = i == options.catalogs;
        TreeCatalog entry;
        catgen::CatalogOptions catalog;
        // About a third refused, each reason in turn.
        if (!package && random.Below(3) == 0) entry.malformation = refusals[random.Below(refusals.size())];
        catalog.malformation = entry.malformation;
        const size_t count = package ? options.packageMembers : MemberCount(random);
        catalog.trustList.members = Members(options.seed, i, count, static_cast<int>(random.Below(3)), random);
        catalog.trustList.thisUpdate = 1500000000 + static_cast<int64_t>(random.Below(200000000));
        catalog.digest = random.Below(4) == 0 ? catgen::Digest::kSha1 : catgen::Digest::kSha256;
        size_t stamp = random.Below(3);
        catalog.timestamp = stamp == 0 ? Timestamp::kNone : stamp == 1 ? Timestamp::kPkcs9 : Timestamp::kRfc3161;
        catalog.timestampDigest = catalog.digest;
        catalog.timestampTime = catalog.trustList.thisUpdate + 3600;

        const catgen::Chain* signer = &pki.signers[random.Below(pki.signers.size())];
        if (entry.malformation == Malformation::kUntrustedRoot) signer = &pki.untrustedSigner;
        if (entry.malformation == Malformation::kSelfSignedSigner) signer = &pki.selfSignedSigner;
        const catgen::Chain& stamper = pki.timeStampers[random.Below(pki.timeStampers.size())];
        const bool stamped = catalog.timestamp != Timestamp::kNone || catgen::NeedsTimestamp(entry.malformation);
        entry.timestamp = stamped ? catgen::TimestampFor(entry.malformation, catalog.timestamp) : Timestamp::kNone;

        catgen::Catalog built = catgen::BuildCatalog(catalog, *signer, stamped ? &stamper : nullptr);
        char name[64];
        if (package) {
            std::snprintf(name, sizeof name, "Package_for_BenchRollup~%016llx~amd64~~10.0.1.cat",
                          static_cast<unsigned long long>(options.seed));
        } else {
            std::snprintf(name, sizeof name, "%s%05zu.cat", random.Below(4) == 0 ? "oem" : "Bench-Component-", i);
        }
        const bool other = !package && random.Below(10) == 0;
        entry.path = catRoot / (other ? kOtherDirectory : kPackageDirectory) / name;
        if (!catgen::WriteCatalog(entry.path, built.der)) {
            error = "cannot write " + entry.path.string();
            return false;
        }
        entry.memberHashes = std::move(built.memberHashes);
        entry.bytes = built.der.size();
        tree.totalBytes += entry.bytes;
        tree.catalogs.push_back(std::move(entry));
    }
    std::sort(tree.catalogs.begin(), tree.catalogs.end(), ScanOrder);
    for (size_t i = 0; i < tree.catalogs.size(); ++i) {
        if (tree.catalogs[i].path.filename().string().rfind("Package_", 0) == 0) tree.packageIndex = i;
    }
    return true;
}

}  // namespace korva::bench
