#include "tools/catgen/SignerInfo.h"

namespace korva::catgen {

Bytes SignatureOf(const SignerInfoInput& input) {
    Bytes hash = input.authenticatedAttributes.empty() ? input.contentHash
                                                       : Hash(input.digest, SortedSet(input.authenticatedAttributes));
    Bytes signature = RsaSign(input.signer->key, input.bareDigest ? hash : DigestInfo(input.digest, hash));
    if (input.flipSignature) signature[signature.size() / 2] ^= 0x01;
    return signature;
}

Bytes AssembleSignerInfo(const SignerInfoInput& input, const Bytes& signature, const Bytes& unauthenticated,
                         bool extraField) {
    Bytes content = Concat({Integer(1), IssuerAndSerial(input.signer->cert, input.namedSerial), AlgorithmIdentifier(DigestOid(input.digest))});
    if (!input.authenticatedAttributes.empty()) {
        // [0] IMPLICIT SET OF: the same content the signature covers under a SET tag.
        Bytes attributes = ContentOf(SortedSet(input.authenticatedAttributes));
        content = Concat({content, ContextConstructed(0, attributes)});
    }
    content = Concat({content, AlgorithmIdentifier(input.signatureAlgorithm), OctetString(signature)});
    if (!unauthenticated.empty() || extraField) content = Concat({content, ContextConstructed(1, unauthenticated)});
    if (extraField) content = Concat({content, Null()});
    return Tlv(kConstructed, 16, content);
}

}  // namespace korva::catgen
