#include "engine/MemberHashIndex.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "platform/ByteReader.h"
#include "toolkit/crypto/WideMultiply.h"

namespace TarnVerifyTrustDriver {

namespace {

constexpr uint32_t kFirstBits = 4;
// A slot keeps its top bit for the hash even at the largest table.
constexpr uint32_t kLargestBits = 31;

// The two halves of a 128-bit product folded together: every input bit
// reaches the middle bits, and a product with a secret factor cannot be
// steered without knowing it.
uint64_t Fold(uint64_t a, uint64_t b) {
    const korva::crypto::detail::WideProduct product = korva::crypto::detail::MultiplyWide(a, b);
    return product.low ^ product.high;
}

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15u);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

struct Secret {
    uint64_t words[4] = {};
};

Secret DrawSecret() {
    // Where the random device is missing or throws, the clock and where the
    // loader placed the stack and this code still change from run to run.
    static const int placed = 0;
    uint64_t state = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    state ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&state));
    state ^= static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&placed)) << 16;
    uint64_t drawn[4] = {};
    try {
        std::random_device device;
        for (uint64_t& word : drawn) word = (uint64_t{device()} << 32) | device();
    } catch (...) {
    }
    Secret secret;
    for (int i = 0; i < 4; ++i) secret.words[i] = SplitMix(state) ^ drawn[i];
    return secret;
}

const Secret& ProcessSecret() {
    static const Secret secret = DrawSecret();
    return secret;
}

}  // namespace

MemberHashIndex::MemberHashIndex(CCallbacks* callbacks) : callbacks_(callbacks), entries_(callbacks) {
    std::copy_n(ProcessSecret().words, 4, secret_);
}

MemberHashIndex::~MemberHashIndex() { Clear(); }

void MemberHashIndex::Clear() {
    entries_.Clear();
    if (slots_ != nullptr) FreeObject(slots_);
    slots_ = nullptr;
    bits_ = 0;
}

uint64_t MemberHashIndex::KeyHash(std::span<const uint8_t> key) const {
    uint64_t words[4] = {};
    // The two lengths nearly every key has copy inline, without a call.
    if (key.size() == 32) {
        std::memcpy(words, key.data(), 32);
    } else if (key.size() == 20) {
        std::memcpy(words, key.data(), 20);
    } else {
        std::memcpy(words, key.data(), key.size());
    }
    const uint64_t low = Fold(words[0] ^ secret_[0], words[1] ^ secret_[1]);
    const uint64_t high = Fold(words[2] ^ secret_[2], words[3] ^ secret_[3]);
    // The length as well: zero bytes appended make another key.
    return Fold(low ^ secret_[3] ^ key.size(), high ^ secret_[0]);
}

uint32_t MemberHashIndex::Probe(std::span<const uint8_t> key, uint64_t hash) {
    const uint32_t mask = Mask();
    const uint32_t tag = Tag(hash);
    for (uint32_t at = static_cast<uint32_t>(hash) & mask;; at = (at + 1) & mask) {
        const uint32_t slot = slots_[at];
        if (slot == 0) return at;
        if ((slot & ~mask) == tag) {
            const HashEntry& entry = entries_[(slot & mask) - 1];
            if (entry.length == key.size() && std::equal(key.begin(), key.end(), entry.bytes)) return at;
        }
    }
}

HashEntry* MemberHashIndex::Find(const MemberHash& key) {
    if (bits_ == 0) return nullptr;
    std::span<const uint8_t> view = key.view();
    const uint32_t slot = slots_[Probe(view, KeyHash(view))];
    return slot == 0 ? nullptr : &entries_[(slot & Mask()) - 1];
}

MemberHashIndex::Result MemberHashIndex::FindOrInsert(const MemberHash& key) {
    std::span<const uint8_t> view = key.view();
    const uint64_t hash = KeyHash(view);
    uint32_t at = 0;
    if (bits_ != 0) {
        at = Probe(view, hash);
        if (slots_[at] != 0) return {&entries_[(slots_[at] & Mask()) - 1], false};
    }
    // At most three slots in four in use keeps the runs of full slots short.
    if ((uint64_t{count()} + 1) * 4 > (uint64_t{1} << bits_) * 3) {
        if (!Grow(bits_ == 0 ? kFirstBits : bits_ + 1)) return {};
        at = Probe(view, hash);
    }
    uint32_t number = 0;
    if (!entries_.Add(number)) return {};
    HashEntry& entry = entries_[number];
    std::copy(view.begin(), view.end(), entry.bytes);
    entry.length = static_cast<uint8_t>(view.size());
    slots_[at] = Tag(hash) | (number + 1);
    return {&entry, true};
}

bool MemberHashIndex::Reserve(uint32_t more) {
    if (more == 0) return true;
    uint32_t bits = std::max(bits_, kFirstBits);
    while ((uint64_t{count()} + more) * 4 > (uint64_t{1} << bits) * 3) ++bits;
    return bits == bits_ || Grow(bits);
}

bool MemberHashIndex::Grow(uint32_t bits) {
    if (bits > kLargestBits || (uint64_t{sizeof(uint32_t)} << bits) > SIZE_MAX) return false;
    const size_t size = size_t{1} << bits;
    auto* slots = static_cast<uint32_t*>(AllocateObject(size * sizeof(uint32_t), callbacks_));
    if (slots == nullptr) return false;
    std::fill_n(slots, size, 0u);
    // The entries give every hash again, so the old table can go first.
    if (slots_ != nullptr) FreeObject(slots_);
    slots_ = slots;
    bits_ = bits;
    const uint32_t mask = Mask();
    // The hashes run a few entries ahead of the stores, and each one's slot
    // is asked for as it is known: the table is larger than the caches, and
    // this way several of its misses are waited for at once.
    constexpr uint32_t kAhead = 8;
    uint64_t ahead[kAhead] = {};
    const uint32_t total = count();
    for (uint32_t number = 0; number < total + kAhead; ++number) {
        if (number >= kAhead) {
            const uint32_t placed = number - kAhead;
            const uint64_t hash = ahead[placed % kAhead];
            uint32_t at = static_cast<uint32_t>(hash) & mask;
            while (slots_[at] != 0) at = (at + 1) & mask;
            slots_[at] = Tag(hash) | (placed + 1);
        }
        if (number < total) {
            const uint64_t hash = KeyHash(entries_[number].view());
            korva::platform::Prefetch(&slots_[static_cast<uint32_t>(hash) & mask]);
            ahead[number % kAhead] = hash;
        }
    }
    return true;
}

HashKeyOrder::HashKeyOrder(MemberHashIndex& index, bool unsavedOnly) : index_(index) {
    uint32_t wanted = 0;
    index.ForEach([&](const HashEntry& entry) { return wanted += !unsavedOnly || entry.unsaved, true; });
    if (wanted == 0) return;
    sorted_ = static_cast<uint64_t*>(AllocateObject(size_t{wanted} * sizeof(uint64_t), index.callbacks()));
    if (sorted_ == nullptr) {
        ok_ = false;
        return;
    }
    // The first four key bytes above the number settle most comparisons
    // without touching an entry. An entry starts zeroed and takes only its
    // key's bytes, so a short key reads as padded with zeros, which never
    // puts it above a greater key; ties go to the whole keys. The byte counts
    // of all four sorting passes are taken on the way.
    uint32_t counts[4][256] = {};
    for (uint32_t number = 0; number < index.count(); ++number) {
        const HashEntry& entry = index[number];
        if (unsavedOnly && !entry.unsaved) continue;
        uint32_t first = 0;
        (void)korva::platform::ByteReader(entry.bytes, sizeof entry.bytes).ReadU32Be(first);
        for (uint32_t pass = 0; pass < 4; ++pass) ++counts[pass][first >> (8 * pass) & 0xFF];
        sorted_[count_++] = uint64_t{first} << 32 | number;
    }
    if (count_ < 2) return;
    auto* scratch = static_cast<uint64_t*>(AllocateObject(size_t{count_} * sizeof(uint64_t), index.callbacks()));
    if (scratch == nullptr) {
        ok_ = false;
        return;
    }
    // By prefix in four stable passes, one per byte from the lowest, which
    // end back in `sorted_`; then each run of one prefix by the whole keys.
    uint64_t* from = sorted_;
    uint64_t* to = scratch;
    for (uint32_t pass = 0; pass < 4; ++pass) {
        const uint32_t shift = 32 + 8 * pass;
        uint32_t starts[256];
        for (uint32_t value = 0, sum = 0; value < 256; ++value) {
            starts[value] = sum;
            sum += counts[pass][value];
        }
        for (uint32_t i = 0; i < count_; ++i) to[starts[from[i] >> shift & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    FreeObject(scratch);
    for (uint32_t run = 0, end = 1; run < count_; run = end++) {
        while (end < count_ && (sorted_[end] ^ sorted_[run]) >> 32 == 0) ++end;
        if (end - run < 2) continue;
        std::sort(sorted_ + run, sorted_ + end, [&](uint64_t a, uint64_t b) {
            return CompareHashBytes(index[static_cast<uint32_t>(a)].view(), index[static_cast<uint32_t>(b)].view()) < 0;
        });
    }
}

HashKeyOrder::~HashKeyOrder() {
    if (sorted_ != nullptr) FreeObject(sorted_);
}

}  // namespace TarnVerifyTrustDriver
