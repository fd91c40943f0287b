#include <gtest/gtest.h>

#include <iterator>

#include "tests/toolkit/DerBuilder.h"
#include "toolkit/AlgorithmTable.h"
#include "toolkit/Context.h"
#include "toolkit/ExtensionList.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/KeyFromSpki.h"

namespace korva::toolkit {
namespace {

using namespace testing;

class List {
public:
    explicit List(uint16_t kinds = kExtensionInCertificate) { EXPECT_EQ(ExtensionListCreate(nullptr, kinds, &list_), kOk); }
    ~List() { ExtensionListFree(&list_); }
    template <size_t N>
    Status Add(const uint8_t (&oid)[N], uint32_t critical, const Der& value) {
        return ExtensionListAdd(list_, oid, N, critical, value.data(), static_cast<uint32_t>(value.size()));
    }
    template <typename T, size_t N>
    const T* Value(const uint8_t (&oid)[N]) {
        uint32_t index = 0;
        const void* value = nullptr;
        if (ExtensionListFind(list_, oid, N, &index) != kOk) return nullptr;
        EXPECT_EQ(ExtensionListGetValue(list_, index, 0, &value), kOk);
        return static_cast<const T*>(value);
    }
    ExtensionList* get() { return list_; }

private:
    ExtensionList* list_ = nullptr;
};

TEST(ExtensionList, DecodesThePathProcessingValues) {
    List list;
    const Der name = Tlv(0xA4, NameDer({{kCommonName, 0x13, "CA"}}));
    ASSERT_EQ(list.Add(oid::kBasicConstraints, 1, Sequence({Der{0x01, 0x01, 0xFF}, Tlv(0x02, {0x00})})), kOk);
    ASSERT_EQ(list.Add(oid::kKeyUsage, 1, Tlv(0x03, {0x01, 0x86})), kOk);
    ASSERT_EQ(list.Add(oid::kAuthorityKeyIdentifier, 0, Sequence({Tlv(0x80, {1, 2}), Tlv(0xA1, name), Tlv(0x82, {7})})), kOk);
    ASSERT_EQ(list.Add(oid::kSubjectKeyIdentifier, 0, Tlv(0x04, {9, 9})), kOk);
    ASSERT_EQ(list.Add(oid::kExtKeyUsage, 0, Sequence({Tlv(0x06, {0x2B, 0x06, 0x01}), Tlv(0x06, {0x2B, 0x07})})), kOk);
    ASSERT_EQ(list.Add(oid::kSubjectAltName, 0, Sequence({Tlv(0x82, Text("a.example")), Tlv(0x87, {10, 0, 0, 1})})), kOk);
    ASSERT_EQ(list.Add(oid::kNameConstraints, 1,
                       Sequence({Tlv(0xA0, Sequence({Tlv(0x82, Text("example"))})), Tlv(0xA1, Sequence({name, Tlv(0x81, {2})}))})),
              kOk);
    ASSERT_EQ(list.Add(oid::kCertificatePolicies, 0,
                       Sequence({Sequence({Tlv(0x06, Der(std::begin(oid::kAnyPolicy), std::end(oid::kAnyPolicy))), Sequence({})}), Sequence({Tlv(0x06, {0x2B, 0x05})})})),
              kOk);
    ASSERT_EQ(list.Add(oid::kPolicyMappings, 0, Sequence({Sequence({Tlv(0x06, {0x2B, 1}), Tlv(0x06, {0x2B, 2})})})), kOk);
    ASSERT_EQ(list.Add(oid::kPolicyConstraints, 0, Sequence({Tlv(0x81, {3})})), kOk);
    ASSERT_EQ(list.Add(oid::kInhibitAnyPolicy, 1, Tlv(0x02, {0x01, 0x00})), kOk);

    const auto* basic = list.Value<BasicConstraintsValue>(oid::kBasicConstraints);
    EXPECT_TRUE(basic->cA == 1 && basic->hasPathLength == 1 && basic->pathLength == 0);
    EXPECT_EQ(list.Value<KeyUsageValue>(oid::kKeyUsage)->bits, kKeyUsageDigitalSignature | kKeyUsageKeyCertSign | kKeyUsageCrlSign);
    const auto* aki = list.Value<AuthorityKeyIdentifierValue>(oid::kAuthorityKeyIdentifier);
    EXPECT_EQ(Der(aki->keyIdentifier.data, aki->keyIdentifier.data + aki->keyIdentifier.length), (Der{1, 2}));
    ASSERT_EQ(aki->issuer.count, 1u);
    EXPECT_EQ(aki->issuer.names[0].form, kGeneralNameDirectory);
    EXPECT_EQ(aki->issuer.names[0].value.length, NameDer({{kCommonName, 0x13, "CA"}}).size());
    EXPECT_EQ(list.Value<SubjectKeyIdentifierValue>(oid::kSubjectKeyIdentifier)->keyIdentifier.length, 2u);
    EXPECT_EQ(list.Value<OidListValue>(oid::kExtKeyUsage)->count, 2u);
    const auto* san = list.Value<AltNameValue>(oid::kSubjectAltName);
    ASSERT_EQ(san->names.count, 2u);
    EXPECT_EQ(san->names.names[1].form, kGeneralNameIpAddress);
    const auto* constraints = list.Value<NameConstraintsValue>(oid::kNameConstraints);
    ASSERT_TRUE(constraints->permittedCount == 1 && constraints->excludedCount == 1);
    EXPECT_EQ(constraints->excluded[0].base.form, kGeneralNameDirectory);
    EXPECT_TRUE(constraints->excluded[0].hasMaximum == 1 && constraints->excluded[0].maximum == 2);
    const auto* policies = list.Value<CertificatePoliciesValue>(oid::kCertificatePolicies);
    ASSERT_EQ(policies->count, 2u);
    EXPECT_EQ(policies->policies[0].qualifiers.length, 2u);
    EXPECT_EQ(list.Value<PolicyMappingsValue>(oid::kPolicyMappings)->count, 1u);
    const auto* policy = list.Value<PolicyConstraintsValue>(oid::kPolicyConstraints);
    EXPECT_TRUE(policy->hasRequireExplicitPolicy == 0 && policy->inhibitPolicyMapping == 3);
    EXPECT_EQ(list.Value<InhibitAnyPolicyValue>(oid::kInhibitAnyPolicy)->skipCerts, 256u);
    uint32_t found = 1;
    EXPECT_EQ(ExtensionListHasUnrecognisedCritical(list.get(), &found), kOk);
    EXPECT_EQ(found, 0u);
}

TEST(ExtensionList, EntryChecks) {
    const uint8_t unknown[] = {0x2A, 0x03, 0x04};
    List certificate;
    EXPECT_EQ(certificate.Add(unknown, 1, {}), kUnknownCriticalExtension);
    EXPECT_EQ(certificate.Add(unknown, kCriticalityDefault, {0xAB}), kOk);
    EXPECT_EQ(certificate.Add(unknown, 0, {}), kDuplicateExtension);
    EXPECT_EQ(certificate.Add(oid::kCrlNumber, 0, Tlv(0x02, {1})), kExtensionNotAllowedHere);
    EXPECT_EQ(certificate.Add(oid::kBasicConstraints, 0, Tlv(0x04, {})), kMalformedEncoding);
    EXPECT_EQ(certificate.Add(oid::kBasicConstraints, 0, Sequence({Tlv(0x02, {0x80})})), kMalformedEncoding);
    EXPECT_EQ(certificate.Add(oid::kKeyUsage, 1, Tlv(0x03, {0x08, 0x00})), kMalformedEncoding);
    EXPECT_EQ(certificate.Add(oid::kSubjectAltName, 0, Sequence({})), kMalformedEncoding);
    EXPECT_EQ(certificate.Add(oid::kAuthorityInfoAccess, 0, Concat({Sequence({}), Sequence({})})), kMalformedEncoding);
    EXPECT_EQ(certificate.Add(oid::kNameConstraints, 0, Sequence({})), kNoContextFlags);  // strict check needs flags
    List crl(kExtensionInCrl);
    EXPECT_EQ(crl.Add(oid::kCrlNumber, 0, Tlv(0x02, {1})), kOk);
    uint32_t critical = 9;
    ASSERT_EQ(ExtensionListGetCritical(crl.get(), 0, &critical), kOk);
    EXPECT_EQ(critical, 0u);
    EXPECT_EQ(ExtensionListGetCritical(crl.get(), 1, &critical), kIndexOutOfRange);
    const void* value = nullptr;
    EXPECT_EQ(ExtensionListGetValue(crl.get(), 0, 1, &value), kIndexOutOfRange);
    const uint8_t* der = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(ExtensionListGetEncoding(crl.get(), &der, &length), kOk);
    EXPECT_EQ(Der(der, der + length), Sequence({Extension(Der{0x55, 0x1D, 0x14}, false, Tlv(0x02, {1}))}));
}

TEST(ExtensionTypes, GetAndSetFollowTheirRules) {
    ToolkitContext* context = nullptr;
    ASSERT_EQ(ContextCreate(nullptr, nullptr, 0, &context), kOk);
    ExtensionTypeInfo info{};
    const uint8_t unknown[] = {0x2A, 0x03};
    EXPECT_EQ(ExtensionTypeGet(context, unknown, sizeof unknown, &info), kNotFound);
    alignas(8) unsigned char other[64] = {};  // a handle of no kind
    EXPECT_EQ(ExtensionTypeGet(other, unknown, sizeof unknown, &info), kInvalidContext);
    ASSERT_EQ(ExtensionTypeGet(context, oid::kKeyUsage, sizeof oid::kKeyUsage, &info), kOk);
    EXPECT_TRUE(info.defaultCritical == 1 && info.criticalityFree == 1 && info.allowedIn == 1);
    ExtensionTypeInfo row = info;
    row.oid = unknown;
    row.oidLength = sizeof unknown;
    row.allowedIn = 0;
    EXPECT_EQ(ExtensionTypeSet(context, &row), kBadAllowedIn);
    row.allowedIn = 32;
    EXPECT_EQ(ExtensionTypeSet(context, &row), kBadAllowedIn);
    row.allowedIn = 1;
    row.singleValued = 2;
    EXPECT_EQ(ExtensionTypeSet(context, &row), kInvalidArgument);
    row.singleValued = 1;
    row.handlers.copy = nullptr;
    EXPECT_EQ(ExtensionTypeSet(context, &row), kMethodsIncomplete);
    row.handlers = info.handlers;
    row.criticalityFree = 0;
    row.handlersReplaceable = 0;
    ASSERT_EQ(ExtensionTypeSet(context, &row), kOk);
    row.criticalityFree = 1;
    EXPECT_EQ(ExtensionTypeSet(context, &row), kCriticalityMismatch);
    ExtensionTypeInfo unknownRow{};
    ASSERT_EQ(ExtensionTypeGet(context, kUnknownExtensionType, sizeof kUnknownExtensionType, &unknownRow), kOk);
    row.criticalityFree = 0;
    row.handlers = unknownRow.handlers;
    EXPECT_EQ(ExtensionTypeSet(context, &row), kHandlersNotReplaceable);
    unknownRow.criticalityFree = 1;
    EXPECT_EQ(ExtensionTypeSet(context, &unknownRow), kOk);
    ASSERT_EQ(ExtensionTypeGet(context->extensionTypes, unknown, sizeof unknown, &info), kOk);
    EXPECT_EQ(info.criticalityFree, 0u);
    ContextFree(&context);
}

TEST(AlgorithmTable, FindsTheFirstOidInsideAndFillsKeys) {
    struct Case {
        Der der;
        Status status;
        uint32_t number;
    };
    const Der rsa{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
    const Case cases[] = {
        {Sequence({Sequence({Tlv(0x06, rsa), Der{0x05, 0x00}})}), kOk, 29},
        {Tlv(0x31, Tlv(0x06, {0x2B, 0x0E, 0x03, 0x02, 0x0C})), kOk, 37},
        {Sequence({Tlv(0x06, {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x01})}), kOk, 38},
        {Tlv(0x06, {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x03}), kOk, 14},
        {Tlv(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x07}), kOk, 24},
        {Tlv(0x06, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01}), kCoreLookupUnknownOid, 0},
        {Sequence({Tlv(0x02, {1})}), kCoreLookupNoOid, 0},
        {Der{}, kCoreLookupNoOid, 0},
        {Der{0x30, 0x85, 0, 0, 0, 0, 1}, kCoreLookupBadLength, 0},
        {Der{0x30, 0x05, 0x06, 0x09, 0x2A}, kCoreLookupBadLength, 0},
    };
    for (const Case& c : cases) {
        uint32_t number = 0;
        EXPECT_EQ(AlgorithmTableLookup(c.der.data(), static_cast<uint32_t>(c.der.size()), &number), c.status)
            << ::testing::PrintToString(c.der);
        EXPECT_EQ(number, c.number);
    }
    KeyObject* key = nullptr;
    ASSERT_EQ(KeyObjectCreate(&key), kOk);
    const Der dh = Sequence({Sequence({Tlv(0x06, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x03, 0x01})})});
    EXPECT_EQ(KeyObjectFromSpki(key, dh.data(), static_cast<uint32_t>(dh.size())), kUnsupportedPublicKeyAlgorithm);
    const Der dsa = Sequence({Sequence({Tlv(0x06, {0x2A, 0x86, 0x48, 0xCE, 0x38, 0x04, 0x01})})});
    EXPECT_EQ(KeyObjectFromSpki(key, dsa.data(), static_cast<uint32_t>(dsa.size())), kCoreKeyFormatNotApplicable);
    const Der badKey = Sequence({Sequence({Tlv(0x06, rsa), Der{0x05, 0x00}}), Tlv(0x03, {0x00, 0x30, 0x00})});
    EXPECT_EQ(KeyObjectFromSpki(key, badKey.data(), static_cast<uint32_t>(badKey.size())), kCoreBadValue);
    KeyObjectFree(&key);
}

}  // namespace
}  // namespace korva::toolkit
