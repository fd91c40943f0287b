#include "tools/catgen/DerMutator.h"

#include <algorithm>
#include <functional>

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

namespace korva::catgen {

namespace {

using platform::ByteReader;
using platform::DerElement;
using platform::DerError;
using platform::DerRules;

void Visit(std::vector<DerNode>& nodes, const std::function<void(DerNode&)>& visit) {
    for (DerNode& node : nodes) {
        visit(node);
        if (node.parsed) Visit(node.children, visit);
    }
}

// Offsets of the headers of the elements in `bytes`, which start at `base`.
void CollectHeaders(platform::ByteSpan bytes, size_t base, std::vector<size_t>& headers) {
    ByteReader reader(bytes);
    while (reader.Remaining() > 0) {
        size_t at = reader.Position();
        DerElement element;
        if (reader.ReadDerElement(element, DerRules::kBer) != DerError::kNone) return;
        headers.push_back(base + at);
        if (element.header.Constructed()) {
            CollectHeaders(element.content, base + at + element.header.headerLength, headers);
        }
    }
}

// ContentInfo [0] SignedData, when the tree has that shape.
DerNode* SignedData(std::vector<DerNode>& tree) {
    if (tree.size() != 1 || !tree[0].parsed || tree[0].children.size() < 2) return nullptr;
    DerNode& explicitContent = tree[0].children[1];
    if (!explicitContent.parsed || explicitContent.children.empty() || !explicitContent.children[0].parsed) return nullptr;
    return &explicitContent.children[0];
}

DerNode* Child(DerNode* parent, uint8_t tagClass, uint32_t tag) {
    if (parent == nullptr) return nullptr;
    for (DerNode& child : parent->children) {
        if (child.tagClass == tagClass && child.tag == tag) return &child;
    }
    return nullptr;
}

// Attribute ::= SEQUENCE { OID, SET }: a list of them is what a signer's
// authenticated attributes and a member's attributes are.
bool IsAttributeList(const DerNode& node) {
    if (!node.parsed || node.children.empty()) return false;
    const DerNode& first = node.children[0];
    return first.parsed && first.children.size() == 2 && first.children[0].tag == 6 && first.children[0].tagClass == 0 &&
           first.children[1].tag == 17;
}

// Removes, duplicates or swaps children of `node`.
void ShuffleChildren(DerNode& node, std::mt19937& random) {
    std::vector<DerNode>& children = node.children;
    size_t i = random() % children.size();
    switch (random() % 3) {
        case 0:
            children.erase(children.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        case 1:
            children.insert(children.begin() + static_cast<std::ptrdiff_t>(i), children[i]);
            break;
        default:
            std::swap(children[i], children[random() % children.size()]);
            break;
    }
}

DerNode Primitive(uint8_t tagClass, uint32_t tag, Bytes content) { return {tagClass, tag, std::move(content), {}, false}; }
DerNode Constructed(uint8_t tagClass, uint32_t tag, std::vector<DerNode> children) {
    return {tagClass, tag, {}, std::move(children), true};
}
DerNode Oid(Bytes content) { return Primitive(0x00, 6, std::move(content)); }
DerNode Sequence(std::vector<DerNode> children) { return Constructed(0x20, 16, std::move(children)); }

const Bytes kTrustListOid = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x01};
const Bytes kIndirectDataOid = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
const Bytes kSha1Oid = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
const Bytes kSha256Oid = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const Bytes kCountersignatureOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x06};
const Bytes kSignedDataOid = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};

// Attribute { trust-list OID, SET { { indirect-data OID, { {SHA-1, NULL},
// hash, {SHA-256, NULL}, hash } } } }: every OID that arms member collection
// encloses the hashes.
DerNode ArmedAttribute() {
    const std::vector<Bytes> hashes = ArmedMemberHashes();
    DerNode digests = Sequence({Sequence({Oid(kSha1Oid), Primitive(0x00, 5, {})}), Primitive(0x00, 4, hashes[0]),
                                Sequence({Oid(kSha256Oid), Primitive(0x00, 5, {})}), Primitive(0x00, 4, hashes[1])});
    DerNode indirect = Sequence({Oid(kIndirectDataOid), std::move(digests)});
    return Sequence({Oid(kTrustListOid), Constructed(0x20, 17, {std::move(indirect)})});
}

DerNode* LastChild(DerNode* parent, uint8_t tagClass, uint32_t tag) {
    if (parent == nullptr || !parent->parsed) return nullptr;
    for (auto it = parent->children.rbegin(); it != parent->children.rend(); ++it) {
        if (it->tagClass == tagClass && it->tag == tag) return &*it;
    }
    return nullptr;
}

// The first SignerInfo of a SignedData.
DerNode* FirstSigner(DerNode* signedData) {
    DerNode* signerInfos = LastChild(signedData, 0x20, 17);
    return signerInfos == nullptr || signerInfos->children.empty() || !signerInfos->children[0].parsed
               ? nullptr
               : &signerInfos->children[0];
}

// Appends the armed attribute to a SignerInfo's unsigned attributes, which
// it creates when there are none.
bool AddUnsignedAttribute(DerNode* signer) {
    if (signer == nullptr) return false;
    DerNode* unsignedAttributes = LastChild(signer, 0xA0, 1);
    if (unsignedAttributes == nullptr) {
        signer->children.push_back(Constructed(0xA0, 1, {}));
        unsignedAttributes = &signer->children.back();
    }
    unsignedAttributes->children.push_back(ArmedAttribute());
    return true;
}

// The value of the signer's unsigned attribute whose value starts with an
// OID: the countersignature's SignerInfo or the time-stamp token.
DerNode* UnsignedValue(DerNode* signer, bool countersignature) {
    DerNode* unsignedAttributes = LastChild(signer, 0xA0, 1);
    if (unsignedAttributes == nullptr) return nullptr;
    for (DerNode& attribute : unsignedAttributes->children) {
        if (!attribute.parsed || attribute.children.size() != 2 || !attribute.children[1].parsed ||
            attribute.children[1].children.empty()) {
            continue;
        }
        DerNode& value = attribute.children[1].children[0];
        bool isCountersignature = attribute.children[0].content == kCountersignatureOid;
        bool isToken = value.parsed && !value.children.empty() && value.children[0].content == kSignedDataOid;
        if (countersignature ? isCountersignature : isToken) return value.parsed ? &value : nullptr;
    }
    return nullptr;
}

DerNode* TokenSignedData(DerNode* signer) {
    DerNode* token = UnsignedValue(signer, false);
    DerNode* explicitContent = LastChild(token, 0xA0, 0);
    return explicitContent == nullptr || explicitContent->children.empty() ? nullptr : &explicitContent->children[0];
}

}  // namespace

const char* NameOf(UnsignedPlace place) {
    static const char* const kNames[] = {"an [4] among the certificates", "a SET among the certificates",
                                         "the signer's unsigned attributes", "the signer's digest parameters",
                                         "a second SignerInfo", "the countersigner's unsigned attributes",
                                         "the token's certificates", "the token signer's unsigned attributes"};
    return kNames[static_cast<size_t>(place)];
}

std::vector<Bytes> ArmedMemberHashes() { return {Bytes(20, 0xEE), Bytes(32, 0xEF)}; }

bool PlaceArmedMember(std::vector<DerNode>& tree, UnsignedPlace place) {
    DerNode* signedData = SignedData(tree);
    DerNode* signer = FirstSigner(signedData);
    switch (place) {
        case UnsignedPlace::kCertificatesOther:
        case UnsignedPlace::kCertificatesSet: {
            DerNode* certificates = Child(signedData, 0xA0, 0);
            if (certificates == nullptr || !certificates->parsed) return false;
            bool other = place == UnsignedPlace::kCertificatesOther;
            certificates->children.push_back(Constructed(other ? 0xA0 : 0x20, other ? 4 : 17, {ArmedAttribute()}));
            return true;
        }
        case UnsignedPlace::kSignerUnauthenticated:
            return AddUnsignedAttribute(signer);
        case UnsignedPlace::kSignerDigestParameters: {
            if (signer == nullptr || signer->children.size() < 3 || !signer->children[2].parsed) return false;
            std::vector<DerNode>& algorithm = signer->children[2].children;
            algorithm.resize(1);
            algorithm.push_back(ArmedAttribute());
            return true;
        }
        case UnsignedPlace::kSecondSignerInfo: {
            if (signer == nullptr) return false;
            DerNode second = *signer;
            AddUnsignedAttribute(&second);
            LastChild(signedData, 0x20, 17)->children.push_back(std::move(second));
            return true;
        }
        case UnsignedPlace::kCountersignerUnauthenticated:
            return AddUnsignedAttribute(UnsignedValue(signer, true));
        case UnsignedPlace::kTokenCertificates: {
            DerNode* certificates = Child(TokenSignedData(signer), 0xA0, 0);
            if (certificates == nullptr || !certificates->parsed) return false;
            certificates->children.push_back(Constructed(0xA0, 4, {ArmedAttribute()}));
            return true;
        }
        case UnsignedPlace::kTokenSignerUnauthenticated:
            return AddUnsignedAttribute(FirstSigner(TokenSignedData(signer)));
        case UnsignedPlace::kCount:
            break;
    }
    return false;
}

bool ParseDer(const Bytes& bytes, std::vector<DerNode>& nodes) {
    ByteReader reader(bytes.data(), bytes.size());
    while (reader.Remaining() > 0) {
        DerElement element;
        if (reader.ReadDerElement(element, DerRules::kBer) != DerError::kNone) return false;
        DerNode node;
        node.tagClass = element.header.tagClass;
        node.tag = element.header.tag;
        node.content.assign(element.content.begin(), element.content.end());
        if (element.header.Constructed() && ParseDer(node.content, node.children)) {
            node.parsed = true;
            node.content.clear();
        } else {
            node.children.clear();
        }
        nodes.push_back(std::move(node));
    }
    return true;
}

Bytes EncodeDer(const std::vector<DerNode>& nodes) {
    Bytes out;
    for (const DerNode& node : nodes) {
        Bytes body = node.parsed ? EncodeDer(node.children) : node.content;
        auto length = static_cast<uint32_t>(body.size());
        Bytes header(platform::ByteWriter::DerHeaderSize(node.tag, length));
        platform::ByteWriter writer(header);
        if (!writer.WriteDerHeader(node.tagClass, node.tag, length)) return {};
        out.insert(out.end(), header.begin(), header.end());
        out.insert(out.end(), body.begin(), body.end());
    }
    return out;
}

const char* NameOf(Mutation mutation) {
    static const char* const kNames[] = {"bit flip", "octet", "truncation", "length", "tag",
                                         "oid", "certificates", "children", "armed member"};
    return kNames[static_cast<size_t>(mutation)];
}

DerMutator::DerMutator(Bytes original) : original_(std::move(original)) {
    structured_ = ParseDer(original_, tree_) && EncodeDer(tree_) == original_;
    if (structured_) CollectHeaders(original_, 0, headers_);
}

Bytes DerMutator::Mutate(Mutation mutation, std::mt19937& random) const {
    if (!structured_ && mutation > Mutation::kTruncation) mutation = static_cast<Mutation>(random() % 3);
    Bytes mutant = original_;
    const size_t at = random() % original_.size();
    const size_t header = headers_.empty() ? 0 : headers_[random() % headers_.size()];
    std::vector<DerNode> tree = tree_;
    switch (mutation) {
        case Mutation::kBitFlip:
            mutant[at] ^= static_cast<uint8_t>(1u << (random() % 8));
            return mutant;
        case Mutation::kOctet:
            mutant[at] ^= static_cast<uint8_t>(1 + random() % 255);
            return mutant;
        case Mutation::kTruncation:
            mutant.resize(at);
            return mutant;
        case Mutation::kLength: {
            // The identifier is one octet but in the high-tag form, which
            // real catalogs do not use; the length octets follow it.
            uint8_t& first = mutant[header + 1];
            const size_t lastAt = (first & 0x80) != 0 ? header + 1 + (first & 0x7F) : header + 1;
            uint8_t& last = mutant[std::min(lastAt, mutant.size() - 1)];
            switch (random() % 4) {
                case 0: first = 0x80; break;                      // indefinite
                case 1: last = static_cast<uint8_t>(last + 1); break;
                case 2: last = static_cast<uint8_t>(last - 1); break;
                default: first = static_cast<uint8_t>(0x81 + random() % 4); break;  // other length octets
            }
            return mutant;
        }
        case Mutation::kTag: {
            uint8_t& identifier = mutant[header];
            switch (random() % 3) {
                case 0: identifier ^= 0x20; break;  // primitive <-> constructed
                case 1: identifier ^= 0x80; break;  // universal <-> context
                default: identifier = static_cast<uint8_t>((identifier & 0xE0) | (1 + random() % 30)); break;
            }
            return mutant == original_ ? Mutate(Mutation::kBitFlip, random) : mutant;
        }
        case Mutation::kOid: {
            std::vector<DerNode*> oids;
            Visit(tree, [&](DerNode& node) {
                if (node.tagClass == 0 && node.tag == 6 && !node.content.empty()) oids.push_back(&node);
            });
            if (oids.empty()) break;
            DerNode& target = *oids[random() % oids.size()];
            const DerNode& other = *oids[random() % oids.size()];
            if (other.content != target.content) {
                target.content = other.content;
            } else {
                target.content.back() = static_cast<uint8_t>(target.content.back() ^ (1 + random() % 127));
            }
            break;
        }
        case Mutation::kCertificates: {
            DerNode* certificates = Child(SignedData(tree), 0xA0, 0);
            if (certificates == nullptr || !certificates->parsed || certificates->children.empty()) break;
            std::vector<DerNode>& list = certificates->children;
            if (list.size() > 1 && random() % 2 == 0) {
                std::rotate(list.begin(), list.begin() + 1, list.end());  // the signer need not come first
            } else {
                ShuffleChildren(*certificates, random);
            }
            break;
        }
        case Mutation::kArmedMember: {
            // Some unsigned place this catalog has.
            const size_t places = static_cast<size_t>(UnsignedPlace::kCount);
            const size_t first = random() % places;
            for (size_t i = 0; i < places; ++i) {
                if (PlaceArmedMember(tree, static_cast<UnsignedPlace>((first + i) % places))) break;
            }
            break;
        }
        case Mutation::kChildren:
        case Mutation::kCount: {
            std::vector<DerNode*> lists;
            std::vector<DerNode*> attributeLists;
            Visit(tree, [&](DerNode& node) {
                if (!node.parsed || node.children.empty()) return;
                lists.push_back(&node);
                if (IsAttributeList(node)) attributeLists.push_back(&node);
            });
            // Half the time an attribute list: removed or repeated attributes.
            std::vector<DerNode*>& from = !attributeLists.empty() && random() % 2 == 0 ? attributeLists : lists;
            if (from.empty()) break;
            ShuffleChildren(*from[random() % from.size()], random);
            break;
        }
    }
    Bytes encoded = EncodeDer(tree);
    if (encoded.empty() || encoded == original_) return Mutate(Mutation::kOctet, random);
    return encoded;
}

}  // namespace korva::catgen
