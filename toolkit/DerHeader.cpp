#include "toolkit/DerHeader.h"

#include <cstddef>
#include <span>

#include "platform/ByteWriter.h"
#include "runtime/MemoryService.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;
using platform::ByteReader;
using platform::DerError;
using platform::DerRules;

namespace {

constexpr uint8_t kEndOfContents[2] = {0x00, 0x00};
// Universal tags whose encoding is always constructed (EXTERNAL, EMBEDDED
// PDV, SEQUENCE, SET, CHARACTER STRING).
constexpr uint32_t kAlwaysConstructedUniversal = (1u << 8) | (1u << 11) | (1u << 16) | (1u << 17) | (1u << 29);
constexpr uint32_t kMaxUniversalTag = 30;

Status Fail(ToolkitContext* context, Status code) {
    return StatusReport(context, code, kSeverityError, __FILE__, __LINE__);
}

Status InvalidArgument(ToolkitContext* context, const char* name) {
    return StatusReport(context, kInvalidArgument, kSeverityError, __FILE__, __LINE__, name);
}

Status FromDerError(DerError error) {
    switch (error) {
    case DerError::kTruncated:
        return kInputTruncated;
    case DerError::kBadLengthForm:
        return kInputMissing;  // the toolkit's code for a bad length form
    default:
        return kMalformedEncoding;
    }
}

// Steps over the nested elements of indefinite-length contents, which may
// themselves be indefinite, up to the end-of-contents octets that close the
// outer element; a count of open levels instead of recursion, so that deep
// nesting costs nothing but the walk. Leaves the reader behind those octets.
bool SkipIndefiniteContents(ByteReader& reader) {
    size_t open = 1;
    while (open > 0) {
        if (reader.SkipPrefix(kEndOfContents)) {
            --open;
            continue;
        }
        platform::DerHeader inner;
        if (reader.ReadDerHeader(inner, DerRules::kBer) != DerError::kNone) return false;
        if (inner.indefinite) {
            ++open;
        } else if (!reader.Skip(inner.length)) {
            return false;
        }
    }
    return true;
}

bool IsUniversal(uint32_t tagClass) { return (tagClass & platform::kDerClassMask) == 0; }

// The identifier's class bits the element gets, or false for a tag the
// class does not allow.
bool IdentifierClass(uint32_t tag, uint32_t tagClass, uint8_t& classBits) {
    classBits = static_cast<uint8_t>(tagClass & 0xE0);
    if (!IsUniversal(tagClass)) return true;
    if (tag == 0 || tag > kMaxUniversalTag) return false;
    if ((kAlwaysConstructedUniversal >> tag) & 1u) classBits |= platform::kDerConstructed;
    return true;
}

}  // namespace

Status DecodeElementHeader(ToolkitContext* context, platform::ByteSpan input, ElementHeader& header) {
    ByteReader reader(input);
    platform::DerHeader der;
    DerError error = reader.ReadDerHeader(der, DerRules::kBer);
    if (error != DerError::kNone) return Fail(context, FromDerError(error));
    size_t contentStart = reader.Position();
    size_t length = der.length;
    if (der.indefinite) {
        if (!SkipIndefiniteContents(reader)) return Fail(context, kMalformedEncoding);
        length = reader.Position() - contentStart - sizeof(kEndOfContents);
        if (length > UINT32_MAX) return Fail(context, kMalformedEncoding);
    } else if (!reader.Skip(length)) {
        return Fail(context, kInputTruncated);
    }
    header.tag = der.tag;
    header.tagClass = der.tagClass | (der.indefinite ? kTagClassIndefinite : 0u);
    header.headerLength = static_cast<uint32_t>(contentStart);
    header.len = static_cast<uint32_t>(length);
    return kOk;
}

Status DecodeHeader(ToolkitContext* context, const uint8_t* inputBER, uint32_t inputLen, uint32_t* tag,
                    uint32_t* tagClass, const uint8_t** value, uint32_t* len) {
    if (inputBER == nullptr) return InvalidArgument(context, "inputBER");
    if (tag == nullptr) return InvalidArgument(context, "tag");
    if (tagClass == nullptr) return InvalidArgument(context, "tagClass");
    if (value == nullptr) return InvalidArgument(context, "value");
    if (len == nullptr) return InvalidArgument(context, "len");
    platform::ByteSpan input(inputBER, inputLen);
    ElementHeader header;
    Status status = DecodeElementHeader(context, input, header);
    if (status != kOk) return status;
    *tag = header.tag;
    *tagClass = header.tagClass;
    *value = input.subspan(header.headerLength).data();
    *len = header.len;
    return kOk;
}

Status EncodeHeader(ToolkitContext* context, uint32_t tag, uint32_t tagClass, const uint8_t* value, uint32_t valueLen,
                    uint32_t outputSize, uint8_t* outputDER, uint32_t* outputLen) {
    if (outputLen == nullptr) return InvalidArgument(context, "outputLen");
    if ((tagClass & ~kEncodableTagClassBits) != 0) return InvalidArgument(context, "tagClass");
    uint8_t classBits = 0;
    if (!IdentifierClass(tag, tagClass, classBits)) return InvalidArgument(context, "tag");
    if (value == nullptr && valueLen != 0) return InvalidArgument(context, "value");
    uint64_t size = uint64_t{platform::ByteWriter::DerHeaderSize(tag, valueLen)} + valueLen;
    if (size > UINT32_MAX) return InvalidArgument(context, "valueLen");
    *outputLen = static_cast<uint32_t>(size);
    if (outputDER == nullptr) return kOk;
    if (outputSize < size) return Fail(context, kInputTruncated);
    platform::ByteWriter writer(std::span<uint8_t>(outputDER, outputSize));
    if (!writer.WriteDerHeader(classBits, tag, valueLen) || !writer.WriteBytes({value, valueLen})) {
        return Fail(context, kInputTruncated);
    }
    return kOk;
}

Status EncodeToNew(ToolkitContext* context, uint32_t tag, uint32_t tagClass, uint8_t** outputDER, uint32_t* outputLen) {
    if (outputDER == nullptr) return InvalidArgument(context, "outputDER");
    if (outputLen == nullptr) return InvalidArgument(context, "outputLen");
    uint8_t classBits = 0;
    if (IdentifierClass(tag, tagClass, classBits) && (classBits & platform::kDerConstructed) != 0) {
        return InvalidArgument(context, "tagClass");
    }
    const uint8_t* content = *outputDER;
    uint32_t contentLen = *outputLen;
    uint32_t size = 0;
    Status status = EncodeHeader(context, tag, tagClass, content, contentLen, 0, nullptr, &size);
    if (status != kOk) return status;
    auto* block = static_cast<uint8_t*>(mem::AllocateBuffer(size));
    if (block == nullptr) return Fail(context, kOutOfMemory);
    status = EncodeHeader(context, tag, tagClass, content, contentLen, size, block, &size);
    if (status != kOk) {
        mem::FreeBuffer(block);
        return status;
    }
    *outputDER = block;
    *outputLen = size;
    return kOk;
}

}  // namespace korva::toolkit
