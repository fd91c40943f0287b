#include "catalog/ParseAsn1.h"

#include <algorithm>

#include "catalog/Asn1TagRules.h"
#include "catalog/KnownOids.h"
#include "platform/ByteReader.h"
#include "platform/Trace.h"
#include "toolkit/DerHeader.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace trace = korva::trace;
namespace toolkit = korva::toolkit;
using korva::platform::ByteSpan;
using trace::Level;
using trace::Num;

constexpr uint32_t kObjectIdentifierTag = 6;
constexpr uint32_t kMinOidLength = 2;
constexpr uint32_t kMaxOidLength = 32;
constexpr uint32_t kMaxHeaderLength = 8;
constexpr uint32_t kMaxDescendHeaderLength = 6;
constexpr uint32_t kOctetStringTag = 4;
constexpr uint32_t kSequenceTag = 16;
constexpr uint32_t kSetTag = 17;

// Status values the walker stores for its own refusals.
constexpr toolkit::Status kKindNotAllowed = 1805;
constexpr toolkit::Status kNotDescendable = 1806;
constexpr toolkit::Status kPastEnclosing = 1810;

void Emit(uint32_t number, Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Asn1, number, level, data);
}

// Every subidentifier of an OID ends, and none starts with a padding octet:
// other readers of a catalog refuse any other OID, so the walk does too.
bool WellFormedOid(ByteSpan value) {
    constexpr uint8_t kMore = 0x80;
    for (size_t i = 0; i < value.size(); ++i) {
        bool startsSubidentifier = i == 0 || (value[i - 1] & kMore) == 0;
        if (startsSubidentifier && value[i] == kMore) return false;
    }
    return (value.back() & kMore) == 0;
}

// What OidMemo gives for an identifier the walk refuses; no flag is this.
constexpr uint32_t kMalformedOid = UINT32_MAX;

// The flags of the OIDs a walk has met: a catalog repeats a handful of
// identifiers for every member, and the well-formedness test and the table
// lookup need only run once for each.
class OidMemo {
public:
    // The known-OID flag (0 for an unknown identifier) or kMalformedOid of
    // the contents `value`, kMinOidLength octets or more.
    uint32_t Flag(ByteSpan value) {
        if (value.size() > kMaxKeyedOidLength) return Check(value);
        const OidKey key = KeyOf(value.data(), value.size());
        Entry& entry = entries_[((key.first + key.last * 3) * kSpread) >> kSlotShift];
        if (entry.length != value.size() || !(entry.key == key)) {
            entry = {key, static_cast<uint32_t>(value.size()), Check(value)};
        }
        return entry.flag;
    }

private:
    static constexpr uint64_t kSpread = 0x9E3779B97F4A7C15ull;
    static constexpr int kSlotShift = 56;
    struct Entry {
        OidKey key;
        uint32_t length = 0;  // none is this short: an unused entry matches nothing
        uint32_t flag = 0;
    };
    static uint32_t Check(ByteSpan value) { return WellFormedOid(value) ? KnownOidFlag(value) : kMalformedOid; }
    Entry entries_[size_t{1} << (64 - kSlotShift)];
};

class Walk {
public:
    Walk(CCallbacks* allocator, ParserStack& stack, IAsn1NodeCallback* callback)
        : allocator_(allocator),
          stack_(stack),
          callback_(callback),
          context_(stack.Context()),
          verbose_(trace::Active()) {}
    ~Walk() {
        while (ParserStackItem* level = spare_) {
            spare_ = level->below;
            delete level;
        }
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    uint32_t Run(ByteSpan data) {
        auto* root = new (allocator_) ParserStackItem(data, 0);
        if (root == nullptr) {
            Emit(25, Level::Error);
            return kWalkOutOfMemory;
        }
        Emit(26, Level::Verbose);
        stack_.Push(root);
        whole_ = data;
        // The root handles exactly one element: octets behind the outermost
        // element are never read. A header that fails here fails again, with
        // its trace, as the walk's first element.
        toolkit::ElementHeader header;
        if (DecodeHeader(data, header) == toolkit::kOk && header.len <= data.size() - header.headerLength &&
            header.headerLength >= 1 && header.headerLength <= kMaxHeaderLength) {
            Emit(32, Level::Information, {Num(data.size()), Num(header.headerLength + header.len)});
            root->reader = korva::platform::ByteReader(data.first(header.headerLength + header.len));
        }
        Elements(root);
        return finalResult_;
    }

private:
    // Which elements the callback hears of, as it stands: every element
    // while the walk is traced, none without a callback, else those it takes
    // an interest in; tag numbers above 30 share the last bit. Asked again
    // after every report, the only time a callback can change its mind.
    struct Interest {
        uint32_t depth;
        uint32_t tags;
        bool Wants(uint32_t elementDepth, uint32_t tag) const {
            return elementDepth < depth || ((tags >> std::min(tag, kHighTags)) & 1u) != 0;
        }
    };
    static constexpr uint32_t kHighTags = kMaxLowTag + 1;

    Interest WantedNow() const {
        if (callback_ == nullptr) return {0, 0};
        if (verbose_) return {UINT32_MAX, UINT32_MAX};
        const NodeInterest& interest = callback_->Interest();
        return {interest.depth, interest.tags | (1u << kHighTags)};
    }

    // A level's place (position, file offset, elements started, OID flags)
    // while its elements are walked: held in locals, put back into the item
    // when the walk descends from it (already behind the element descended
    // into) and taken up again when it returns. A finished level's place is
    // of no further use and stays where it is. A new place is made from
    // values rather than read back from an item just written: reading the
    // reader whole across the stores of its fields stalls the processor.
    struct Place {
        explicit Place(const ParserStackItem& item)
            : reader(item.reader), offset(item.offset), count(item.count), oidFlags(item.oidFlags) {}
        Place(ByteSpan contents, uint32_t fileOffset, uint32_t flags)
            : reader(contents), offset(fileOffset), count(0), oidFlags(flags) {}
        // Steps over `octets`; false when fewer are left.
        bool Advance(uint64_t octets) {
            if (octets > reader.Remaining()) return false;
            (void)reader.Skip(static_cast<size_t>(octets));
            offset += static_cast<uint32_t>(octets);
            return true;
        }
        void Keep(ParserStackItem& item) const {
            item.reader = reader;
            item.offset = offset;
            item.count = count;
            item.oidFlags = oidFlags;
        }
        korva::platform::ByteReader reader;
        uint32_t offset;
        uint32_t count;
        uint32_t oidFlags;
    };

    // Whether a constructed element of this tag number and class may be
    // descended into: universal SEQUENCE, SET and OCTET STRING, application
    // SEQUENCE and SET, any context-specific or private element.
    static bool DescendableKind(uint32_t tag, uint32_t tagClassBits) {
        constexpr uint32_t kSequenceOrSet = (1u << kSequenceTag) | (1u << kSetTag);
        constexpr uint32_t kByClass[4] = {kSequenceOrSet | (1u << kOctetStringTag), kSequenceOrSet, UINT32_MAX,
                                          UINT32_MAX};
        const uint32_t allowed = kByClass[tagClassBits >> 6];
        return tag <= kMaxLowTag ? ((allowed >> tag) & 1u) != 0 : allowed == UINT32_MAX;
    }

    // Ends the walk at `item`: it unwinds from here, every level merging
    // the result on its way down.
    void Stop(ParserStackItem& item, uint32_t result, toolkit::Status status = 0) {
        item.result = std::max(item.result, result);
        if (status != 0) item.status = status;
        stopping_ = true;
    }

    // The element step of every level in one loop. A finished level
    // unwinds and the walk goes on in the level it returns to; a refusal
    // marks the walk as stopping and every level unwinds. Returns when the
    // stack is empty.
    void Elements(ParserStackItem* item) {
        Place place(*item);
        Interest interest = WantedNow();
        for (;;) {
            while (place.reader.Remaining() > 0 && Element(item, place, interest)) {
            }
            item = Unwind(place);
            if (item == nullptr) return;
        }
    }

    // One element of the level `item` at `place`: decode, check, report,
    // then descend into it (the level and place become the new level's) or
    // step over it. False when the walk stops.
    bool Element(ParserStackItem*& item, Place& place, Interest& interest) {
        const ByteSpan rest = place.reader.Rest();
        toolkit::ElementHeader header;
        uint8_t identifier = 0;
        if (place.reader.PeekShortDerHeader(identifier, header.len, header.headerLength)) {
            header.tag = identifier & korva::platform::kDerHighTagForm;
            header.tagClass = identifier & (kAsn1ClassMask | kAsn1Constructed);
        } else if (!DecodeRareHeader(*item, rest, header)) {
            return false;
        }
        const ByteSpan value = rest.subspan(header.headerLength).first(header.len);
        if (header.tag == kObjectIdentifierTag) {
            uint32_t flag = kMalformedOid;
            if (header.len >= kMinOidLength && header.len <= kMaxOidLength &&
                (header.tagClass & kAsn1ClassMask) == kAsn1Universal) {
                flag = oids_.Flag(value);
            }
            if (flag == kMalformedOid) {
                Emit(33, Level::Information, {Num(header.len), Num(header.tagClass)});
                Stop(*item, kWalkRejected);
                return false;
            }
            place.oidFlags |= flag;
        }

        const uint32_t index = place.count++;
        uint32_t tagClass = header.tagClass;
        if (interest.Wants(item->depth, header.tag)) {
            Asn1Node& node = item->node;
            node.tagClass = header.tagClass;
            node.tag = header.tag;
            node.value = value.data();
            node.len = header.len;
            node.headerLength = header.headerLength;
            node.start = rest.data();
            node.context = context_;
            node.oidFlags = place.oidFlags;
            node.offset = place.offset;
            node.depth = item->depth;
            node.index = index;
            bool goOn = Report(*item);
            interest = WantedNow();
            if (!goOn) return false;
            tagClass = node.tagClass;  // a callback may have marked it constructed
        }

        if ((tagClass & kAsn1Constructed) != 0) {
            // The level resumes behind the element when its contents are
            // done, so its place is kept as it will be then.
            Place behind = place;
            if (!behind.Advance(header.headerLength + uint64_t{header.len})) {
                Emit(58, Level::Error, {Num(header.len), Num(place.reader.Remaining())});
                Stop(*item, kWalkRejected, kPastEnclosing);
                return false;
            }
            behind.Keep(*item);
            ParserStackItem* level = Descend(*item, header, tagClass, value, place.offset);
            if (level == nullptr) return false;
            item = level;
            place = Place(value, place.offset + header.headerLength, place.oidFlags);
            return true;
        }
        // Context-specific primitives carry any tag number; the others
        // must pass the universal test.
        const bool universal = (tagClass & kAsn1ClassMask) == kAsn1Universal;
        if (tagClass != kAsn1ContextSpecific && !PrimitiveTagAccepted(header.tag)) {
            Emit(universal ? 50 : 43, Level::Error, {Num(header.tag), Num(tagClass)});
            Stop(*item, kWalkRejected, kKindNotAllowed);
            return false;
        }
        if (!place.Advance(header.headerLength + uint64_t{header.len})) {
            Emit(universal ? 51 : 44, Level::Error, {Num(header.len), Num(place.reader.Remaining())});
            Stop(*item, kWalkRejected, kPastEnclosing);
            return false;
        }
        return true;
    }

    // The headers PeekShortDerHeader leaves: high tag numbers, indefinite
    // lengths and every malformation, with their checks; false when the walk
    // stops.
    bool DecodeRareHeader(ParserStackItem& item, ByteSpan rest, toolkit::ElementHeader& header) {
        // The outermost element is measured in the whole input, as Run did
        // before cutting the root to it: an indefinite length's end lies
        // behind the cut.
        if (item.depth == 0) rest = whole_;
        if (toolkit::Status status = DecodeHeader(rest, header); status != toolkit::kOk) {
            Emit(28, Level::Warning, {Num(status)});
            item.status = status;
            stopping_ = true;
            return false;
        }
        if (header.len > rest.size() - header.headerLength) {
            Emit(30, Level::Warning, {Num(header.len), Num(rest.size()), Num(header.headerLength)});
            Stop(item, kWalkRejected);
            return false;
        }
        if (header.headerLength < 1 || header.headerLength > kMaxHeaderLength) {
            Emit(31, Level::Warning, {Num(header.headerLength)});
            Stop(item, kWalkRejected);
            return false;
        }
        return true;
    }

    // Any header: the general reader first; the indefinite form and every
    // failure through the toolkit, which measures the one and reports the
    // other.
    toolkit::Status DecodeHeader(ByteSpan rest, toolkit::ElementHeader& header) {
        korva::platform::ByteReader reader(rest);
        korva::platform::DerHeader der;
        if (reader.ReadDerHeader(der, korva::platform::DerRules::kBer) != korva::platform::DerError::kNone ||
            der.indefinite || der.length > reader.Remaining()) {
            toolkit::ElementHeader measured;
            toolkit::Status status = toolkit::DecodeElementHeader(context_, rest, measured);
            header = measured;
            return status;
        }
        header.tag = der.tag;
        header.tagClass = der.tagClass;
        header.headerLength = static_cast<uint32_t>(der.headerLength);
        header.len = der.length;
        return toolkit::kOk;
    }

    // Acts on the callback's answer; false when the walk stops.
    bool Report(ParserStackItem& item) {
        if (verbose_) Emit(34, Level::Verbose, {Num(item.node.depth), Num(item.node.index), Num(item.node.offset)});
        uint32_t answer = callback_->OnNode(item.node);
        switch (answer) {
        case kNodeContinue:
        case kNodeAccepted:
            return true;
        case kNodeRejectAndContinue:
            Emit(35, Level::Warning, {Num(answer)});
            item.result = std::max(item.result, kWalkRejected);
            return true;
        case kNodeOutOfMemory:
            Stop(item, kWalkOutOfMemory);
            return false;
        default:
            Emit(35, Level::Warning, {Num(answer)});
            Stop(item, kWalkRejected);
            return false;
        }
    }

    // The level for the contents of the constructed element in hand (`value`
    // behind `header`, at file offset `offset`); null when it may not be descended into
    // or no level can be had.
    ParserStackItem* Descend(ParserStackItem& item, const toolkit::ElementHeader& header, uint32_t tagClass,
                             ByteSpan value, uint32_t offset) {
        const uint32_t tag = header.tag;
        const uint32_t len = header.len;
        const uint32_t headerLength = header.headerLength;
        const uint32_t tagClassBits = tagClass & kAsn1ClassMask;
        const bool universal = tagClassBits == kAsn1Universal;
        // Empty contents only where the tag allows them.
        if (len == 0) item.emptyAllowed = EmptyAllowed(tag, tagClass);
        const bool descendable = DescendableKind(tag, tagClassBits) && (len != 0 || item.emptyAllowed) &&
                                 headerLength <= kMaxDescendHeaderLength;
        if (!descendable) {
            if (universal) {
                Emit(48, Level::Error, {Num(tag), Num(len), Num(headerLength)});
                Stop(item, kWalkRejected, kNotDescendable);
                return nullptr;
            }
            Emit(40, Level::Verbose, {Num(tag), Num(tagClass), Num(len), Num(headerLength)});
            Stop(item, kWalkRejected, kKindNotAllowed);
            return nullptr;
        }
        if (stack_.Count() >= kMaxWalkLevels) {
            Emit(70, Level::Error, {Num(stack_.Count()), Num(offset)});
            Stop(item, kWalkRejected, kNotDescendable);
            return nullptr;
        }
        ParserStackItem* level = NewLevel(value, offset + headerLength);
        if (level == nullptr) {
            Emit(universal ? 38 : 46, Level::Error, {Num(offset)});
            Stop(item, kWalkOutOfMemory, toolkit::kOutOfMemory);
            return nullptr;
        }
        if (verbose_) Emit(universal ? 39 : 47, Level::Verbose, {Num(offset), Num(len)});
        stack_.Push(level);
        return level;
    }

    // A level that an earlier element of this walk finished is taken again
    // before a new one is allocated: nesting costs an allocation per depth
    // first reached, not one per constructed element.
    ParserStackItem* NewLevel(ByteSpan contents, uint32_t fileOffset) {
        ParserStackItem* level = spare_;
        if (level == nullptr) return new (allocator_) ParserStackItem(contents, fileOffset);
        spare_ = level->below;
        level->Reuse();
        return level;
    }

    // Keeps a popped level for NewLevel; the walk frees them at its end.
    void Retire(ParserStackItem* level) {
        level->below = spare_;
        spare_ = level;
    }

    // Finishes the top level and those below it that are done too. Returns
    // the level whose element step resumes, one with octets left, and sets
    // `place` to its place; null when the stack is empty and finalResult_
    // holds the walk's result.
    ParserStackItem* Unwind(Place& place) {
        for (;;) {
            ParserStackItem* finished = stack_.Pop();
            if (finished->status != 0 && finished->result == kWalkSuccess) {
                Emit(55, Level::Warning, {Num(finished->status)});
                finished->result = finished->status == toolkit::kOutOfMemory ? kWalkOutOfMemory : kWalkRejected;
            }
            ParserStackItem* below = stack_.Top();
            if (below == nullptr) {
                Emit(67, Level::Verbose);
                finalResult_ = finished->result;
                Retire(finished);
                Emit(69, Level::Error, {Num(finalResult_)});
                return nullptr;
            }
            below->status = finished->status;
            below->result = std::max(below->result, finished->result);
            Retire(finished);
            if (stopping_) continue;
            // The level's place was kept behind the element whose contents
            // were just walked.
            Place resumed(*below);
            if (resumed.reader.Remaining() > 0) {
                if (verbose_) Emit(57, Level::Verbose, {Num(below->depth), Num(resumed.offset)});
                place = resumed;
                return below;
            }
        }
    }

    CCallbacks* allocator_;
    ParserStack& stack_;
    IAsn1NodeCallback* callback_;
    korva::toolkit::ToolkitContext* context_;
    ParserStackItem* spare_ = nullptr;  // retired levels, linked through `below`
    // Whether anything hears the per-element events, asked once per walk.
    bool verbose_;
    bool stopping_ = false;
    uint32_t finalResult_ = kWalkSuccess;
    OidMemo oids_;
    ByteSpan whole_;  // the walked input
};

}  // namespace

uint32_t ParseAsn1(CCallbacks* allocator, ParserStack* stack, const uint8_t* data, uint32_t length,
                   IAsn1NodeCallback* callback) {
    if (stack == nullptr || !stack->IsValid()) return kWalkOutOfMemory;
    return Walk(allocator, *stack, callback).Run(ByteSpan(data, data == nullptr ? 0 : length));
}

}  // namespace TarnVerifyTrustDriver
