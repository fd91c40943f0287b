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
        Elements(root);
        return finalResult_;
    }

private:
    // A level's place (position, file offset, elements started, OID flags)
    // while its elements are walked: held in locals, and put back into the
    // item whenever the walk leaves the level. A place is made from values
    // rather than read back from an item just written: reading the reader
    // whole across the stores of its fields stalls the processor.
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

    // Ends the walk at `item`: it unwinds from here, every level merging
    // the result on its way down.
    void Stop(ParserStackItem& item, uint32_t result, toolkit::Status status = 0) {
        item.result = std::max(item.result, result);
        if (status != 0) item.status = status;
        stopping_ = true;
    }

    // The element step of every level in one loop: decode, report, then
    // descend into the element or step over it. A finished or failed level
    // unwinds, and the walk goes on in the level it returns to; this returns
    // when the stack is empty. Every refusal only marks the walk as stopping,
    // and the loop's top unwinds.
    void Elements(ParserStackItem* item) {
        Place place(*item);
        for (;;) {
            if (stopping_ || place.reader.Remaining() == 0) {
                place.Keep(*item);
                item = Unwind(place);
                if (item == nullptr) return;
                continue;
            }
            ByteSpan rest = place.reader.Rest();
            toolkit::ElementHeader header;
            if (toolkit::Status status = DecodeHeader(rest, header); status != toolkit::kOk) {
                Emit(28, Level::Warning, {Num(status)});
                item->status = status;
                stopping_ = true;
                continue;
            }
            if (header.len > rest.size() - header.headerLength) {
                Emit(30, Level::Warning, {Num(header.len), Num(rest.size()), Num(header.headerLength)});
                Stop(*item, kWalkRejected);
                continue;
            }
            if (header.headerLength < 1 || header.headerLength > kMaxHeaderLength) {
                Emit(31, Level::Warning, {Num(header.headerLength)});
                Stop(*item, kWalkRejected);
                continue;
            }
            if (item->depth == 0 && place.count == 0) {
                // Octets behind the outermost element are never read.
                Emit(32, Level::Information, {Num(rest.size()), Num(header.headerLength + header.len)});
                rest = rest.first(header.headerLength + header.len);
                place.reader = korva::platform::ByteReader(rest);
            }
            ByteSpan value = rest.subspan(header.headerLength, header.len);
            if (header.tag == kObjectIdentifierTag) {
                if (header.len < kMinOidLength || header.len > kMaxOidLength ||
                    (header.tagClass & kAsn1ClassMask) != kAsn1Universal || !WellFormedOid(value)) {
                    Emit(33, Level::Information, {Num(header.len), Num(header.tagClass)});
                    Stop(*item, kWalkRejected);
                    continue;
                }
                place.oidFlags |= KnownOidFlag(value);
            }

            const uint32_t index = place.count++;
            uint32_t tagClass = header.tagClass;
            if (Wanted(item->depth, header.tag)) {
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
                if (!Report(*item)) continue;
                tagClass = node.tagClass;  // a callback may have marked it constructed
            }

            const bool universal = (tagClass & kAsn1ClassMask) == kAsn1Universal;
            if ((tagClass & kAsn1Constructed) != 0) {
                place.Keep(*item);
                item->emptyAllowed = EmptyAllowed(header.tag, tagClass);
                if (ParserStackItem* level = Descend(*item, header, tagClass, value, place.offset)) {
                    item = level;
                    place = Place(value, level->offset, place.oidFlags);
                }
                continue;
            }
            // Context-specific primitives carry any tag number; the others
            // must pass the universal test.
            if (tagClass != kAsn1ContextSpecific && !PrimitiveTagAccepted(header.tag)) {
                Emit(universal ? 50 : 43, Level::Error, {Num(header.tag), Num(tagClass)});
                Stop(*item, kWalkRejected, kKindNotAllowed);
                continue;
            }
            if (header.headerLength + uint64_t{header.len} > place.reader.Remaining()) {
                Emit(universal ? 51 : 44, Level::Error, {Num(header.len), Num(place.reader.Remaining())});
                Stop(*item, kWalkRejected, kPastEnclosing);
                continue;
            }
            (void)place.Advance(header.headerLength + uint64_t{header.len});
        }
    }

    // Whether the callback hears of an element at `depth` with tag number
    // `tag`: every element while the walk is traced, else those it takes
    // an interest in.
    bool Wanted(uint32_t depth, uint32_t tag) const {
        if (callback_ == nullptr) return false;
        const NodeInterest& interest = callback_->Interest();
        return depth < interest.depth || tag > kMaxLowTag || ((interest.tags >> tag) & 1u) != 0 || verbose_;
    }

    // The definite form, nearly every element, straight from the reader; the
    // indefinite form and every failure through the toolkit, which measures
    // the one and reports the other. The toolkit fills a copy, so that
    // `header` never leaves registers on the common way.
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
        bool universal = tagClassBits == kAsn1Universal;
        bool descendable = universal ? (tag == kOctetStringTag || tag == kSequenceTag || tag == kSetTag)
                                     : (tag == kSequenceTag || tag == kSetTag || tagClassBits == kAsn1ContextSpecific ||
                                        tagClassBits == kAsn1Private);
        descendable = descendable && (len != 0 || item.emptyAllowed) && headerLength <= kMaxDescendHeaderLength;
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
        item.enclosing.value = value.data();
        item.enclosing.len = len;
        item.enclosing.headerLength = headerLength;
        ParserStackItem* level = NewLevel(value, offset + headerLength);
        if (level == nullptr) {
            Emit(universal ? 38 : 46, Level::Error, {Num(offset)});
            Stop(item, kWalkOutOfMemory, toolkit::kOutOfMemory);
            return nullptr;
        }
        if (verbose_) Emit(universal ? 39 : 47, Level::Verbose, {Num(offset), Num(len)});
        level->oidFlags = item.oidFlags;
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
        level->Reuse(contents, fileOffset);
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
            // Step over the element whose contents were just walked.
            Place resumed(*below);
            if (!resumed.Advance(below->enclosing.headerLength + uint64_t{below->enclosing.len})) {
                Emit(58, Level::Error, {Num(below->enclosing.len), Num(resumed.reader.Remaining())});
                Stop(*below, kWalkRejected, kPastEnclosing);
                continue;
            }
            resumed.Keep(*below);
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
};

}  // namespace

uint32_t ParseAsn1(CCallbacks* allocator, ParserStack* stack, const uint8_t* data, uint32_t length,
                   IAsn1NodeCallback* callback) {
    if (stack == nullptr || !stack->IsValid()) return kWalkOutOfMemory;
    return Walk(allocator, *stack, callback).Run(ByteSpan(data, data == nullptr ? 0 : length));
}

}  // namespace TarnVerifyTrustDriver
