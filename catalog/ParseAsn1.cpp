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
        current_ = new (allocator_) ParserStackItem(data, 0);
        if (current_ == nullptr) {
            Emit(25, Level::Error);
            return kWalkOutOfMemory;
        }
        Emit(26, Level::Verbose);
        stack_.Push(current_);
        for (;;) {
            while (!stopping_ && current_->reader.Remaining() > 0) Step(*current_);
            if (Unwind()) return finalResult_;
        }
    }

private:
    // Ends the walk at `item`: it unwinds from here, every level merging
    // the result on its way down.
    void Stop(ParserStackItem& item, uint32_t result, toolkit::Status status = 0) {
        item.result = std::max(item.result, result);
        if (status != 0) item.status = status;
        stopping_ = true;
    }

    // The elements of the current level: decode, report, then descend into
    // one or step over it and go on with the next. Meanwhile the level's
    // place (position, file offset, elements started) stays in locals, and
    // every way out puts it back in the item.
    void Step(ParserStackItem& item) {
        korva::platform::ByteReader reader = item.reader;
        uint32_t offset = item.offset;
        uint32_t count = item.count;
        auto keep = [&] {
            item.reader = reader;
            item.offset = offset;
            item.count = count;
        };
        for (;;) {
            ByteSpan rest = reader.Rest();
            toolkit::ElementHeader header;
            toolkit::Status status = DecodeHeader(rest, header);
            if (status != toolkit::kOk) {
                keep();
                Emit(28, Level::Warning, {Num(status)});
                item.status = status;
                stopping_ = true;
                return;
            }
            if (header.len > rest.size() - header.headerLength) {
                keep();
                Emit(30, Level::Warning, {Num(header.len), Num(rest.size()), Num(header.headerLength)});
                return Stop(item, kWalkRejected);
            }
            if (header.headerLength < 1 || header.headerLength > kMaxHeaderLength) {
                keep();
                Emit(31, Level::Warning, {Num(header.headerLength)});
                return Stop(item, kWalkRejected);
            }
            if (item.depth == 0 && count == 0) {
                // Octets behind the outermost element are never read.
                Emit(32, Level::Information, {Num(rest.size()), Num(header.headerLength + header.len)});
                rest = rest.first(header.headerLength + header.len);
                reader = korva::platform::ByteReader(rest);
            }
            ByteSpan value = rest.subspan(header.headerLength, header.len);
            if (header.tag == kObjectIdentifierTag) {
                if (header.len < kMinOidLength || header.len > kMaxOidLength ||
                    (header.tagClass & kAsn1ClassMask) != kAsn1Universal || !WellFormedOid(value)) {
                    keep();
                    Emit(33, Level::Information, {Num(header.len), Num(header.tagClass)});
                    return Stop(item, kWalkRejected);
                }
                item.oidFlags |= KnownOidFlag(value);
            }

            Asn1Node& node = item.node;
            node.tagClass = header.tagClass;
            node.tag = header.tag;
            node.value = value.data();
            node.len = header.len;
            node.headerLength = header.headerLength;
            node.start = rest.data();
            node.context = context_;
            node.oidFlags = item.oidFlags;
            node.offset = offset;
            node.depth = item.depth;
            node.index = count++;
            if (callback_ != nullptr && !Report(item)) return keep();

            item.emptyAllowed = EmptyAllowed(node.tag, node.tagClass);
            if (node.Constructed()) {
                keep();
                return Descend(item, value);
            }
            // Context-specific primitives carry any tag number; the others
            // must pass the universal test.
            bool universal = node.Class() == kAsn1Universal;
            if (node.tagClass != kAsn1ContextSpecific && !PrimitiveTagAccepted(node.tag)) {
                keep();
                Emit(universal ? 50 : 43, Level::Error, {Num(node.tag), Num(node.tagClass)});
                return Stop(item, kWalkRejected, kKindNotAllowed);
            }
            const uint64_t octets = node.headerLength + uint64_t{node.len};
            if (octets > reader.Remaining()) {
                keep();
                Emit(universal ? 51 : 44, Level::Error, {Num(node.len), Num(reader.Remaining())});
                return Stop(item, kWalkRejected, kPastEnclosing);
            }
            (void)reader.Skip(static_cast<size_t>(octets));
            offset += static_cast<uint32_t>(octets);
            if (reader.Remaining() == 0) return keep();
        }
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

    void Descend(ParserStackItem& item, ByteSpan value) {
        const Asn1Node& node = item.node;
        bool universal = node.Class() == kAsn1Universal;
        bool descendable = universal ? (node.tag == kOctetStringTag || node.tag == kSequenceTag || node.tag == kSetTag)
                                     : (node.tag == kSequenceTag || node.tag == kSetTag ||
                                        node.Class() == kAsn1ContextSpecific || node.Class() == kAsn1Private);
        descendable = descendable && (node.len != 0 || item.emptyAllowed) && node.headerLength <= kMaxDescendHeaderLength;
        if (!descendable) {
            if (universal) {
                Emit(48, Level::Error, {Num(node.tag), Num(node.len), Num(node.headerLength)});
                return Stop(item, kWalkRejected, kNotDescendable);
            }
            Emit(40, Level::Verbose, {Num(node.tag), Num(node.tagClass), Num(node.len), Num(node.headerLength)});
            return Stop(item, kWalkRejected, kKindNotAllowed);
        }
        if (stack_.Count() >= kMaxWalkLevels) {
            Emit(70, Level::Error, {Num(stack_.Count()), Num(node.offset)});
            return Stop(item, kWalkRejected, kNotDescendable);
        }
        item.enclosing.value = node.value;
        item.enclosing.len = node.len;
        item.enclosing.headerLength = node.headerLength;
        ParserStackItem* level = NewLevel(value, node.offset + node.headerLength);
        if (level == nullptr) {
            Emit(universal ? 38 : 46, Level::Error, {Num(node.offset)});
            return Stop(item, kWalkOutOfMemory, toolkit::kOutOfMemory);
        }
        if (verbose_) Emit(universal ? 39 : 47, Level::Verbose, {Num(node.offset), Num(node.len)});
        level->oidFlags = item.oidFlags;
        stack_.Push(level);
        current_ = level;
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

    // Finishes the current level and those below it that are done too; true
    // when the stack is empty and finalResult_ holds the walk's result,
    // false when a level has octets left and the element step resumes there.
    bool Unwind() {
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
                return true;
            }
            below->status = finished->status;
            below->result = std::max(below->result, finished->result);
            Retire(finished);
            current_ = below;
            if (stopping_) continue;
            // Step over the element whose contents were just walked.
            if (!below->Advance(below->enclosing.headerLength + uint64_t{below->enclosing.len})) {
                Emit(58, Level::Error, {Num(below->enclosing.len), Num(below->reader.Remaining())});
                Stop(*below, kWalkRejected, kPastEnclosing);
                continue;
            }
            if (below->reader.Remaining() > 0) {
                if (verbose_) Emit(57, Level::Verbose, {Num(below->depth), Num(below->offset)});
                return false;
            }
        }
    }

    CCallbacks* allocator_;
    ParserStack& stack_;
    IAsn1NodeCallback* callback_;
    korva::toolkit::ToolkitContext* context_;
    ParserStackItem* current_ = nullptr;
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
