#include "tests/toolkit/ChainFixture.h"
#include "tests/toolkit/DerBuilder.h"
#include "toolkit/Crl.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/Imdb.h"
#include "toolkit/ImdbSlots.h"
#include "toolkit/KeyFromSpki.h"
#include "toolkit/KeyObject.h"
#include "toolkit/PathLists.h"

namespace korva::toolkit::testing {
namespace {

class ImdbTest : public ChainFixture {
protected:
    void* Handle() const { return context_->providers[kClassDatabase]->handle; }
    const NameObject* Subject(const CertObject* cert) const { return cert->fields.subject; }
    const NameObject* Issuer(const CertObject* cert) const { return cert->fields.issuer; }
    TestKey key_;
};

TEST_F(ImdbTest, InsertsOnceAndSelectsByIssuerSerial) {
    CertObject* cert = Stored({"Leaf", "Issuer", 7, &key_, &key_});
    ASSERT_EQ(DbInsertCert(database_, cert), kOk);
    CertObject* twin = Load(MakeCert({"Other", "Issuer", 7, &key_, &key_}));
    ASSERT_EQ(DbInsertCert(database_, twin), kOk);  // same issuer and serial: kept out
    const CertBytes& serial = cert->fields.serialNumber;
    ASSERT_EQ(DbSelectByIssuerSerial(database_, Issuer(cert), serial.data, serial.length, path_), kOk);
    ASSERT_EQ(Count(path_), 1u);
    EXPECT_EQ(DbSelectByIssuerSerial(database_, Subject(cert), serial.data, serial.length, path_), kNotFound);
    EXPECT_EQ(DbSelectBySubject(database_, Issuer(cert), path_), kNotFound);
    EXPECT_EQ(ImdbSelectByIssuerSerial(context_, Handle(), Issuer(cert), nullptr, 0, path_), kInvalidArgument);
    EXPECT_EQ(ImdbDeleteByIssuerSerial(context_, Handle(), Issuer(cert), serial.data, serial.length), kOk);
    EXPECT_EQ(DbSelectByIssuerSerial(database_, Issuer(cert), serial.data, serial.length, path_), kNotFound);
}

// Selection through the index equals a scan with NameCompare, in order, over
// names that compare loosely (PrintableString), exactly (other types), not
// at all ('@' is not PrintableString), or one way only ({x,x} takes x, y).
TEST_F(ImdbTest, IndexedSelectionEqualsAScan) {
    const Der forms[] = {
        NameDer({{kCountry, 0x13, "US"}, {kCommonName, 0x13, "Ab  c"}}),
        NameDer({{kCountry, 0x13, "us"}, {kCommonName, 0x13, " aB c "}}),
        NameDer({{kCountry, 0x13, "US"}, {kCommonName, 0x0C, "Ab  c"}}),
        NameDer({{kCountry, 0x13, "US"}, {kCommonName, 0x0C, "ab c"}}),
        NameDer({{kCountry, 0x13, "US"}, {kCommonName, 0x13, "a@b"}}),
        NameDer({{kCountry, 0x13, "US"}, {kCommonName, 0x13, "a"}}),
        Sequence({Rdn({{kCountry, 0x13, "US"}, {kCommonName, 0x13, "a"}})}),
        Sequence({Rdn({{kCommonName, 0x13, "A"}, {kCountry, 0x13, "us"}})}),
        Sequence({Rdn({{kCommonName, 0x13, "x"}, {kCommonName, 0x13, "X"}})}),
        NameDer({{kCommonName, 0x13, "X"}, {kCommonName, 0x13, "y"}}),
        NameDer({{kCommonName, 0x13, "x"}, {kCommonName, 0x13, "x"}}),
        Sequence({Rdn({{kCommonName, 0x13, "y"}, {kCommonName, 0x13, "x"}})}),
        Sequence({Rdn({{kCommonName, 0x1E, std::string("\0a\0b", 4)}})}),
        Sequence({}),
    };
    // Each name as subject and issuer, twice: serial 5, which keeps a later
    // equal issuer out, then a serial of its own.
    std::vector<CertObject*> loaded;
    for (uint8_t serial : {0, 1}) {
        for (uint8_t i = 0; i < std::size(forms); ++i) {
            CertParts parts;
            parts.issuer = parts.subject = forms[i];
            parts.serial = Tlv(0x02, {static_cast<uint8_t>(serial == 0 ? 5 : 10 + i)});
            loaded.push_back(Insert(parts.Build()));
        }
    }
    std::vector<CertObject*> kept;
    for (CertObject* cert : loaded) {
        bool clash = false;
        for (CertObject* k : kept) clash = clash || CertEqual(k, cert);
        if (!clash) kept.push_back(cert);
    }
    auto select = [&](auto request) {
        ObjectList* list = nullptr;
        EXPECT_EQ(ObjectListCreate(&list), kOk);
        request(list);
        std::vector<CertObject*> got;
        for (uint32_t i = 0; i < Count(list); ++i) got.push_back(PathListCert(list, i));
        ObjectListFree(&list);
        return got;
    };
    EXPECT_EQ(select([&](ObjectList* out) { DbSelectCerts(database_, nullptr, nullptr, out); }), kept);
    const uint8_t five = 5;
    for (uint32_t q = 0; q < std::size(forms); ++q) {
        const NameObject* wanted = Subject(loaded[q]);
        std::vector<CertObject*> bySubject;
        std::vector<CertObject*> byIssuer;
        for (CertObject* k : kept) {
            if (NameCompare(Subject(k), wanted) == 0) bySubject.push_back(k);
            if (byIssuer.empty() && NameCompare(Issuer(k), wanted) == 0 && k->fields.serialNumber.data[0] == 5) {
                byIssuer.push_back(k);
            }
        }
        SCOPED_TRACE(q);
        EXPECT_EQ(select([&](ObjectList* out) { DbSelectBySubject(database_, wanted, out); }), bySubject);
        EXPECT_EQ(select([&](ObjectList* out) { DbSelectByIssuerSerial(database_, wanted, &five, 1, out); }), byIssuer);
    }
}

TEST_F(ImdbTest, FiltersByLeadingNameAndExtensionValues) {
    CertObject* signer = Stored({"Signer", "Root", 1, &key_, &key_, 0, 0, -1, -1, "digitalSignature,keyCertSign"});
    Stored({"Signer", "Root", 2, &key_, &key_, 0, 0, -1, -1, "digitalSignature"});
    Stored({"Plain", "Root", 3, &key_, &key_});
    ASSERT_EQ(DbSelectCerts(database_, Subject(signer), nullptr, path_), kOk);
    EXPECT_EQ(Count(path_), 2u);
    // keyUsage filters by bits contained.
    ExtensionList* filter = nullptr;
    ASSERT_EQ(ExtensionListCreate(context_, kExtensionInCertificate, &filter), kOk);
    const uint8_t keyCertSign[] = {0x03, 0x02, 0x02, 0x04};
    ASSERT_EQ(ExtensionListAdd(filter, oid::kKeyUsage, sizeof oid::kKeyUsage, 1, keyCertSign, sizeof keyCertSign), kOk);
    ObjectListFree(&path_);
    ASSERT_EQ(ObjectListCreate(&path_), kOk);
    ASSERT_EQ(DbSelectCerts(database_, nullptr, filter, path_), kOk);
    ASSERT_EQ(Count(path_), 1u);
    EXPECT_EQ(PathAt(0), signer);
    ExtensionListFree(&filter);
}

// The iterations, the CRL store and the key store: what path processing
// of kind 1 never asks for, one case each.
TEST_F(ImdbTest, IterationsCrlsAndKeys) {
    CertObject* cert = Stored({"One", "Root", 1, &key_, &key_});
    Stored({"Two", "Root", 2, &key_, &key_});
    ImdbIterator iterator = nullptr;
    EXPECT_EQ(ImdbFirstCert(context_, Handle(), &iterator, path_), kOk);
    EXPECT_EQ(ImdbNextCert(context_, Handle(), &iterator, path_), kOk);
    EXPECT_EQ(ImdbNextCert(context_, Handle(), &iterator, path_), kNotFound);
    EXPECT_EQ(iterator, nullptr);
    EXPECT_EQ(Count(path_), 2u);

    // The latest CRL not after the time; the fourth equals the second and is stored once.
    const time_t base = 1700000000;
    std::vector<CrlObject*> crls;
    for (time_t update : {base, base + 200, base + 100, base + 200}) {
        Der der = MakeCrl("Issuer", key_, update);
        CrlObject*& crl = crls.emplace_back();
        ASSERT_EQ(CrlCreate(context_, &crl), kOk);
        ASSERT_EQ(CrlSetEncoding(crl, der.data(), uint32_t(der.size())), kOk);
        EXPECT_EQ(ImdbInsertCrl(context_, Handle(), crl), kOk);
    }
    for (auto [time, thisUpdate] : {std::pair{base - 1, time_t(0)}, {base + 150, base + 100}, {base + 500, base + 200}}) {
        ObjectList* out = nullptr;
        ASSERT_EQ(ObjectListCreate(&out), kOk);
        ASSERT_EQ(ImdbSelectCrl(context_, Handle(), crls[0]->issuer, uint32_t(time), out), thisUpdate == 0 ? kNotFound : kOk);
        void* chosen = nullptr;
        if (ObjectListGet(out, 0, &chosen) == kOk) {
            EXPECT_EQ(static_cast<CrlObject*>(chosen)->thisUpdate, uint32_t(thisUpdate));
        }
        ObjectListFree(&out);
    }
    uint32_t walked = 0;
    for (Status s = ImdbFirstCrl(context_, Handle(), &iterator, path_); s == kOk;
         s = ImdbNextCrl(context_, Handle(), &iterator, path_)) {
        ++walked;
    }
    EXPECT_EQ(walked, 3u);
    for (CrlObject*& crl : crls) CrlFree(&crl);

    // One copy of each key.
    KeyObject* key = nullptr;
    KeyObject* copy = nullptr;
    ASSERT_EQ(KeyObjectCreate(&key), 0u);
    ASSERT_EQ(KeyObjectCreate(&copy), 0u);
    const CertBytes& spki = cert->fields.subjectPublicKeyInfo;
    ASSERT_EQ(KeyObjectFromSpki(key, spki.data, spki.length), 0u);
    EXPECT_EQ(ImdbInsertKeyForCert(context_, Handle(), cert, key), kOk);
    EXPECT_EQ(ImdbInsertKeyForCert(context_, Handle(), cert, key), kOk);
    EXPECT_EQ(ImdbFirstKey(context_, Handle(), &iterator, copy), kOk);
    EXPECT_EQ(ImdbNextKey(context_, Handle(), &iterator, copy), kNotFound);
    EXPECT_EQ(ImdbDeleteKeyForCert(context_, Handle(), cert), kOk);
    EXPECT_EQ(ImdbGetKeyForCert(context_, Handle(), cert, copy), kNotFound);
    KeyObjectFree(&key);
    KeyObjectFree(&copy);
}

}  // namespace
}  // namespace korva::toolkit::testing
