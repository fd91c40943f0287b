#include "engine/CatalogStore.h"
#include "engine/CatalogStoreFile.h"
#include "engine/SignerReach.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>
#include <random>
#include <string>
#include <utility>

#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "tests/common/AllocationFaults.h"
#include "tools/storeharness/StoreHarness.h"

namespace TarnVerifyTrustDriver::test {
namespace {

using korva::trace::Recorder;
using korva::trace::Source;

constexpr CatalogFindData kPlain{kFileAttributeArchive, {100, 1}};

FakeCatalog Catalog(std::initializer_list<MemberHash> members, const char* subject = "subject") {
    FakeCatalog catalog;
    catalog.values = {Text(subject), Text("issuer"), Bytes{0x01, 0x02}, Bytes(20, 0xAB)};
    catalog.members = members;
    catalog.signerFlags = 0x30007;
    catalog.timeValue = 1483624143;
    return catalog;
}

// Keys come in every order a store sees: scattered as a build adds catalogs,
// ascending as one saved log replays, and as several logs appended one after
// another, each ascending on its own, with keys repeated.
TEST(MemberHashIndex, KeepsHashOrderAndNeverReplaces) {
    std::mt19937 random(7);
    std::vector<MemberHash> scattered;
    for (uint32_t i = 0; i < 20000; ++i) {
        const uint32_t lengths[] = {0, 1, 20, 32};
        MemberHash hash = Hash(0, lengths[random() % 4]);
        for (uint32_t b = 0; b < hash.length; ++b) hash.bytes[b] = static_cast<uint8_t>(random() % 3 * 0x7F);
        scattered.push_back(hash);
    }
    auto less = [](const MemberHash& a, const MemberHash& b) { return CompareHashBytes(a.view(), b.view()) < 0; };
    std::vector<MemberHash> ascending = scattered;
    std::sort(ascending.begin(), ascending.end(), less);
    std::vector<MemberHash> descending(ascending.rbegin(), ascending.rend());
    std::vector<MemberHash> logs;
    for (size_t part = 0; part < 4; ++part) {
        // Overlapping slices: later logs repeat keys of earlier ones.
        auto first = scattered.begin() + static_cast<std::ptrdiff_t>(part * 4000);
        std::vector<MemberHash> run(first, first + 8000);
        std::sort(run.begin(), run.end(), less);
        logs.insert(logs.end(), run.begin(), run.end());
    }
    struct Case { const char* order; const std::vector<MemberHash>& keys; };
    for (const Case& c : {Case{"scattered", scattered}, Case{"ascending", ascending}, Case{"descending", descending},
                          Case{"logs", logs}}) {
        MemberHashIndex map;
        std::map<std::string, uint32_t> reference;  // lexicographic: a prefix sorts first
        for (uint32_t i = 0; i < c.keys.size(); ++i) {
            const MemberHash& hash = c.keys[i];
            auto [entry, inserted] = map.FindOrInsert(hash);
            ASSERT_NE(entry, nullptr) << c.order;
            bool fresh = reference.emplace(std::string(hash.bytes, hash.bytes + hash.length), i).second;
            ASSERT_EQ(inserted, fresh) << c.order << " " << i;
            if (inserted) entry->index = i;
        }
        ASSERT_EQ(map.count(), reference.size()) << c.order;
        auto expected = reference.begin();
        HashKeyOrder(map, false).ForEach([&](HashEntry& entry) {
            EXPECT_EQ(std::string(entry.bytes, entry.bytes + entry.length), expected->first) << c.order;
            EXPECT_EQ(entry.index, expected->second) << c.order;
            return ++expected, true;
        });
        EXPECT_EQ(expected, reference.end()) << c.order;
        for (const MemberHash& hash : c.keys) ASSERT_NE(map.Find(hash), nullptr) << c.order;
    }
}

TEST(OrderedMap, NamesOrderByUtf16CodeUnitAndValuesByLengthFirst) {
    // A surrogate pair sorts below U+FFFD, as in UTF-16, also where wide strings are UTF-32;
    // behind a shared path of every length to 9, which a lookup passes over four units at a
    // time. The last pair's first name is the second's UTF-16 units read as code points.
    const std::pair<std::wstring, std::wstring> pairs[] = {
        {L"A", L"a"}, {L"ab", L"abc"}, {L"\U0001F600", L"\uFFFD"}, {L"\U0001D83D\U0001DE00ab", L"\U0001F600ab"}};
    for (size_t shared = 0; shared <= 9; ++shared) {
        const std::wstring path = std::wstring(L"\\SystemRoot\\").substr(0, shared);
        for (const auto& [a, b] : pairs) {
            NameEntry lower, higher;
            ASSERT_TRUE(NameOrder::Assign(lower, path + a) && NameOrder::Assign(higher, path + b));
            EXPECT_LT(NameOrder::Compare(path + a, higher), 0) << shared;
            EXPECT_GT(NameOrder::Compare(path + b, lower), 0) << shared;
            EXPECT_EQ(NameOrder::Compare(path + b, higher), 0) << shared;
        }
    }
    for (auto [a, b] : {std::pair{Bytes{}, Bytes{0}}, {Bytes{0xFF}, Bytes{0, 0}}, {Bytes{1, 2}, Bytes{1, 3}}}) {
        SignerIndexEntry entry;
        ASSERT_TRUE(SignerValueOrder::Assign(entry, b));
        EXPECT_LT(SignerValueOrder::Compare(a, entry), 0);
    }
}

TEST(CatalogStore, SkipsWhatIsNotAPlainFile) {
    const uint32_t skipped[] = {0, 0x1, 0x2, 0x10 | 0x20, 0x40 | 0x80, 0x200 | 0x4};
    for (uint32_t attributes : skipped) {
        CatalogStore store;
        FakeVerifier verifier;
        EXPECT_TRUE(store.AddCatalog(L"x.cat", {attributes, {}}, verifier));
        EXPECT_EQ(verifier.walks, 0);
        EXPECT_EQ(store.records().count(), 0u);
    }
}

TEST(CatalogStore, RecordsAcceptedCatalogsSkipsUnchangedOnesAndResolvesTheirRefs) {
    CatalogStore store;
    FakeVerifier verifier;
    verifier.catalogs[L"a.cat"] = Catalog({Hash(1, 20), Hash(2, 32)});
    verifier.catalogs[L"A.cat"] = Catalog({Hash(2, 32), Hash(3, 20)}, "other");
    verifier.catalogs[L"empty.cat"] = Catalog({});
    for (const wchar_t* path : {L"a.cat", L"A.cat", L"empty.cat", L"a.cat"}) ASSERT_TRUE(store.AddCatalog(path, kPlain, verifier));
    EXPECT_EQ(verifier.walks, 3);  // the unchanged a.cat is not walked again
    EXPECT_EQ(store.records().count(), 3u);  // paths differing in case are different catalogs
    EXPECT_EQ(store.signerValues().count(), 5u);
    EXPECT_EQ(store.hashes().Find(Hash(2, 32))->index, 0u);  // the first catalog keeps a shared hash
    EXPECT_EQ(store.hashes().count(), 3u);

    // A changed catalog keeps its index; its record takes the new facts.
    verifier.catalogs[L"a.cat"] = Catalog({Hash(4, 32)}, "renewed");
    ASSERT_TRUE(store.AddCatalog(L"a.cat", {kFileAttributeNormal, {200, 1}}, verifier));
    const CatalogRecord& record = store.records()[0];
    EXPECT_EQ(record.fileTime, (FileTime{200, 1}));
    EXPECT_EQ(store.signerValues()[record.signerValue1].value.size(), 7u);
    EXPECT_EQ(store.hashes().Find(Hash(1, 20))->index, 0u);  // no longer listed, still mapped
    EXPECT_TRUE(store.hashes().Find(Hash(4, 32))->unsaved);
    EXPECT_EQ(store.names().count(), 3u);

    // A reference resolves only to a record of its own store, in range, until the store is cleared.
    CatalogRef ref;
    EXPECT_TRUE(ResolveRef(ref) == nullptr && !SetRef(ref, nullptr, 0) && !SetRef(ref, &store, 3));
    ASSERT_TRUE(SetRef(ref, &store, 0) && ref.unsaved);
    EXPECT_EQ(ResolveRef(ref), &store.records()[0]);
    store.ClearStore();
    EXPECT_TRUE(ResolveRef(ref) == nullptr && Describe(store).empty());
}

TEST(CatalogStore, RefusedCatalogsLeaveTheStoreAlone) {
    struct Case { const char* what; void (*spoil)(FakeCatalog&, FakeVerifier&); uint32_t event; };
    const Case cases[] = {
        {"walk failed", [](FakeCatalog& c, FakeVerifier&) { c.walkResult = 11; }, 0},
        {"digest", [](FakeCatalog& c, FakeVerifier&) { c.digestMatched = false; }, 14},
        {"signer", [](FakeCatalog& c, FakeVerifier&) { c.signerVerified = false; }, 15},
        {"rejected", [](FakeCatalog& c, FakeVerifier&) { c.signerRejected = true; }, 16},
        {"no callback", [](FakeCatalog&, FakeVerifier& v) { v.refuseCallback = true; }, 13},
    };
    for (const Case& c : cases) {
        Recorder recorder;
        CatalogStore store;
        FakeVerifier verifier;
        FakeCatalog catalog = Catalog({Hash(1, 20)});
        c.spoil(catalog, verifier);
        verifier.catalogs[L"x.cat"] = catalog;
        EXPECT_FALSE(store.AddCatalog(L"x.cat", kPlain, verifier)) << c.what;
        EXPECT_EQ(Describe(store), "") << c.what;
        EXPECT_TRUE(c.event == 0 || recorder.Has(Source::Store, c.event)) << c.what;
    }
}

// The four values are interned before the name and the record are made, so a
// refusal at the limit leaves no record with unset values behind, and the
// store stays loadable. A catalog whose new values would not fit is held back
// before any is interned.
TEST(CatalogStore, RefusesEveryCatalogOnceTheSignerTableIsFull) {
    SystemDirectory();
    CatalogStore store;
    FakeVerifier verifier;
    verifier.catalogs[L"first.cat"] = Catalog({Hash(1, 20)});
    ASSERT_TRUE(store.AddCatalog(L"first.cat", kPlain, verifier));
    for (uint8_t i = 0; store.signerValues().count() < 254; ++i) {
        FakeCatalog filler = Catalog({Hash(i, 32)});
        filler.values = {Bytes{0xF1, i}, Bytes{0xF2, i}, Bytes{0xF3, i}, Bytes{0xF4, i}};
        // The last filler brings one new value twice, which takes one slot.
        if (store.signerValues().count() == 252) filler.values = {Bytes{0xF5}, Bytes{0xF5}, Text("issuer"), Bytes{0xF4, i}};
        std::wstring path = L"filler" + std::to_wstring(i) + L".cat";
        verifier.catalogs[path] = filler;
        ASSERT_TRUE(store.AddCatalog(path, kPlain, verifier));
    }
    Recorder recorder;
    verifier.catalogs[L"known.cat"] = Catalog({Hash(2, 20)});  // all four values already in the table
    verifier.catalogs[L"new.cat"] = Catalog({Hash(3, 20)}, "new subject");
    std::string before = Describe(store);
    EXPECT_FALSE(store.AddCatalog(L"known.cat", kPlain, verifier));
    EXPECT_TRUE(recorder.Has(Source::Record, 15));
    EXPECT_TRUE(recorder.Has(Source::Store, 22));
    EXPECT_FALSE(store.AddCatalog(L"new.cat", kPlain, verifier));
    EXPECT_TRUE(recorder.Has(Source::Store, 28));
    EXPECT_EQ(Describe(store), before);
    MemoryOutput body;
    ASSERT_TRUE(SaveStore(store, body));
    Bytes file = kHeader;
    file.insert(file.end(), body.written.begin(), body.written.end());
    EXPECT_NE(LoadedContent(file), "");
    CatalogRecord orphan;
    uint8_t index = 0;
    EXPECT_FALSE(InternSignerValue(orphan, Bytes{1}, index));
    EXPECT_TRUE(recorder.Has(Source::Record, 13));
}

// Catalogs arrive one per cycle, each cycle appending its save to the file:
// in every order, every saved file loads, a rerun over the same catalogs
// appends nothing, and every member hash of every catalog is found. A
// catalog that would own no hash yet bring the highest signer values is held
// back (event 28) until a later arrival makes it fit.
TEST(CatalogStore, EverySaveLoadsWhateverOrderCatalogsArrive) {
    SystemDirectory();  // names are saved in kernel form, which needs it
    const std::vector<MemberHash> package = {Hash(1, 20), Hash(2, 20), Hash(3, 32)};
    auto signedBy = [](const char* serial, std::vector<MemberHash> members) {
        FakeCatalog catalog = Catalog({});
        catalog.values[2] = Text(serial);
        catalog.values[3] = Text(serial);
        catalog.members = std::move(members);
        return catalog;
    };
    struct Arrival { const wchar_t* path; FakeCatalog catalog; uint32_t time; };
    // `allTaken`: whatever the order, each path ends with its last arrival.
    struct Case { const char* what; std::vector<Arrival> arrivals; bool allTaken; };
    const std::vector<Case> cases = {
        {"re-signed pair", {{L"new.cat", signedBy("2024", package), 1}, {L"old.cat", signedBy("2023", package), 1}}, false},
        {"re-signed series",
         {{L"a.cat", signedBy("1", package), 1}, {L"b.cat", signedBy("2", package), 1},
          {L"c.cat", signedBy("3", {Hash(1, 20)}), 1}, {L"d.cat", signedBy("4", {Hash(3, 32), Hash(4, 20)}), 1}}, false},
        {"no members", {{L"none.cat", signedBy("9", {}), 1}, {L"a.cat", signedBy("1", package), 1}}, false},
        {"no members, known signer", {{L"a.cat", signedBy("1", package), 1}, {L"none.cat", signedBy("1", {}), 1}}, true},
        {"no members, re-signed",
         {{L"a.cat", signedBy("1", package), 1}, {L"none.cat", signedBy("1", {}), 1}, {L"none.cat", signedBy("9", {}), 2}},
         false},
        // The update drops the only use of the last value: held back, its
        // record keeps the values the file holds.
        {"update to an older signer",
         {{L"a.cat", signedBy("1", package), 1}, {L"b.cat", signedBy("2", {Hash(5, 20)}), 1},
          {L"b.cat", signedBy("1", {Hash(5, 20)}), 2}}, false},
        // A record keeps the member hashes it owns in the file it was loaded from.
        {"update to a newer signer", {{L"b.cat", signedBy("2", {Hash(5, 20)}), 1}, {L"b.cat", signedBy("3", {Hash(5, 20)}), 2}},
         true},
    };
    for (const Case& c : cases) {
        std::vector<size_t> order(c.arrivals.size());
        for (size_t i = 0; i < order.size(); ++i) order[i] = i;
        do {
            std::string what = c.what + std::string(" order");
            for (size_t i : order) what += " " + std::to_string(i);
            FakeVerifier verifier;
            std::map<std::wstring, uint32_t> times;
            Bytes file;
            auto cycle = [&](std::initializer_list<size_t> arriving) {
                CatalogStore store;
                MemoryStream stream(file);
                EXPECT_EQ(LoadDatabase(store, stream), kSuccess) << what;
                for (size_t i : arriving) {
                    verifier.catalogs[c.arrivals[i].path] = c.arrivals[i].catalog;
                    times[c.arrivals[i].path] = c.arrivals[i].time;
                }
                for (const auto& [path, time] : times) store.AddCatalog(path, {kFileAttributeArchive, {time, 0}}, verifier);
                MemoryOutput body;
                ASSERT_TRUE(SaveStore(store, body)) << what;
                if (file.empty() && body.written.empty()) return;
                if (file.empty()) file = kHeader;
                file.insert(file.end(), body.written.begin(), body.written.end());
            };
            for (size_t i : order) cycle({i});  // each cycle loads what the one before saved
            Bytes saved = file;
            cycle({});
            EXPECT_EQ(file, saved) << what << ": a rerun appended";
            CatalogStore loaded;
            MemoryStream stream(file);
            ASSERT_EQ(LoadDatabase(loaded, stream), kSuccess) << what;
            for (const Arrival& a : c.arrivals) {
                for (const MemberHash& member : a.catalog.members) EXPECT_NE(loaded.hashes().Find(member), nullptr) << what;
            }
            for (const auto& [path, catalog] : verifier.catalogs) {
                const NameEntry* name = loaded.names().Find(path);
                bool taken = name != nullptr &&
                             Hex(loaded.signerValues()[loaded.records()[name->ref.index].signerValue4].value.bytes()) ==
                                 Hex(catalog.values[3]);
                EXPECT_TRUE(taken || !c.allTaken) << what;
            }
        } while (std::next_permutation(order.begin(), order.end()));
    }
}

// A record put in through the accessors that names the last signer value
// but owns no member hash leaves a store the loader refuses: whether the
// containers grew or were emptied and refilled to the same sizes, the note
// that the store was loadable lapses, and a known signer's next catalog is
// held back, every time.
TEST(CatalogStore, SignerReachNoteLapsesWhenTheStoreChangesBeneathIt) {
    struct Case { const char* what; bool refill; };
    for (const Case& c : {Case{"grown", false}, Case{"emptied and refilled", true}}) {
        CatalogStore store;
        FakeVerifier verifier;
        verifier.catalogs[L"a.cat"] = Catalog({Hash(1, 20)});
        verifier.catalogs[L"b.cat"] = Catalog({Hash(2, 20)});
        verifier.catalogs[L"b.cat"].values[3] = verifier.catalogs[L"b.cat"].values[2];  // not the last index
        ASSERT_TRUE(store.AddCatalog(L"a.cat", kPlain, verifier));
        ASSERT_TRUE(store.SignerReachHolds()) << c.what;
        if (c.refill) {
            store.ClearStore();
            for (const Bytes& value : Catalog({}).values) {
                CatalogRecord holder;
                holder.owner = &store;
                uint8_t index = 0;
                ASSERT_TRUE(InternSignerValue(holder, value, index));
            }
            MemberHashIndex::Result hash = store.hashes().FindOrInsert(Hash(9, 20));
            ASSERT_NE(hash.entry, nullptr);
            hash.entry->index = 0;  // the record below is not marked as its owner
        } else {
            ASSERT_TRUE(store.AppendSignerValue(Bytes{0xEE}, true));
        }
        CatalogRecord* stray = store.records().Append();
        ASSERT_NE(stray, nullptr);
        stray->signerValue1 = stray->signerValue2 = stray->signerValue3 = stray->signerValue4 =
            static_cast<uint8_t>(store.signerValues().count() - 1);
        OrderedMap<NameOrder>::Result name = store.names().FindOrInsert(L"stray.cat");
        ASSERT_TRUE(name.entry != nullptr && SetRef(name.entry->ref, &store, store.records().count() - 1));
        EXPECT_FALSE(store.SignerReachHolds()) << c.what;
        // Held back as often as it comes: the count that refused it notes nothing.
        EXPECT_FALSE(store.AddCatalog(L"b.cat", kPlain, verifier)) << c.what;
        EXPECT_FALSE(store.AddCatalog(L"b.cat", kPlain, verifier)) << c.what;
    }
}

TEST(CatalogStore, AllocationFailuresLeakNothingAndLeaveNoWrongSignerIndex) {
    FakeVerifier verifier;
    verifier.catalogs[L"a.cat"] = Catalog({Hash(1, 20), Hash(2, 32)});
    verifier.catalogs[L"b.cat"] = Catalog({Hash(2, 32), Hash(3, 20)}, "other");
    // Catalogs that might come next: known values or new ones, with a hash
    // of their own or none. Made before the sweep, which fails allocations.
    const FakeCatalog probes[] = {Catalog({Hash(4, 20)}), Catalog({Hash(1, 20)}), Catalog({Hash(4, 20)}, "new"),
                                  Catalog({Hash(3, 20)}, "new"), Catalog({}, "other")};
    std::vector<std::unique_ptr<FakeEvidence>> evidence;
    for (const FakeCatalog& probe : probes) {
        evidence.push_back(std::make_unique<FakeEvidence>());
        ASSERT_TRUE(evidence.back()->Report(probe));
    }
    std::string clean;
    uint64_t total = korva::test_support::SweepAllocationFailures([&](uint64_t failing) {
        CatalogStore store;
        bool added = store.AddCatalog(L"a.cat", kPlain, verifier);
        added = store.AddCatalog(L"b.cat", kPlain, verifier) && added;
        // Whatever failed half way, KeepsSignerReach answers alike with the
        // note AddCatalog left, after a full count of the signer indexes,
        // and with the note that count left.
        std::vector<bool> answers[3];
        for (std::vector<bool>& pass : answers) {
            for (const auto& next : evidence) {
                if (&pass == &answers[1]) store.ForgetSignerReach();
                pass.push_back(KeepsSignerReach(store, nullptr, *next));
            }
        }
        EXPECT_TRUE(answers[0] == answers[1] && answers[1] == answers[2]) << "failing allocation " << failing;
        // Whatever failed, every interned index names the value it was given.
        store.signerValueIndex().ForEach([&](SignerIndexEntry& e) {
            EXPECT_EQ(Hex(store.signerValues()[e.index].value.bytes()), Hex(e.value.bytes()));
            return true;
        });
        // and a record that a save would write names one catalog's four
        // values, never a slot left unset or pointing at another signer's.
        for (const CatalogRecord& r : store.records().items()) {
            if (!r.unsaved) continue;
            std::vector<std::string> values;
            for (uint8_t slot : {r.signerValue1, r.signerValue2, r.signerValue3, r.signerValue4}) {
                values.push_back(slot < store.signerValues().count() ? Hex(store.signerValues()[slot].value.bytes()) : "unset");
            }
            bool ofOneCatalog = false;
            for (const auto& [path, catalog] : verifier.catalogs) {
                std::vector<std::string> own;
                for (const Bytes& value : catalog.values) own.push_back(Hex(value));
                ofOneCatalog |= own == values;
            }
            EXPECT_TRUE(ofOneCatalog) << "failing allocation " << failing;
        }
        if (failing == 0) clean = Describe(store);
        EXPECT_TRUE(!added || Describe(store) == clean);
    });
    EXPECT_GT(total, 10u);
}

}  // namespace
}  // namespace TarnVerifyTrustDriver::test
