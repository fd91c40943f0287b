#include "tools/catgen/CommandLine.h"

#include <cctype>
#include <filesystem>
#include <functional>
#include <map>

namespace korva::catgen {

const char* const kUsage =
    "usage: korva-catgen [options] -o OUT.cat\n"
    "  --root-key PEM --root-cert CERT  the test root (default: a fresh one, see --key-dir)\n"
    "  --tsa-root-key PEM --tsa-root-cert CERT  root of the time-stamping chain (default: the root)\n"
    "  --key-dir DIR            keep generated keys in DIR and reuse them\n"
    "  --key-bits N             size of generated RSA keys (default 2048)\n"
    "  --write-pki DIR          write the roots, chains and leaf keys as PEM/DER files\n"
    "  --intermediates 1|2      CAs between root and signer (default 1)\n"
    "  --members N              synthetic members (default 3)\n"
    "  --member-file PATH       add a file on disk as a member (repeatable)\n"
    "  --member-hash sha1|sha256|md5  member hash (default: --hash)\n"
    "  --hash sha1|sha256       SignedData and signer digest (default sha256)\n"
    "  --signing-time T         add the authenticated signing-time attribute\n"
    "  --timestamp none|pkcs9|rfc3161  countersign the signature (default none)\n"
    "  --timestamp-hash sha1|sha256  countersigner digest (default: --hash)\n"
    "  --timestamp-time T|none  countersignature signing time / token genTime (default 2020-09-13)\n"
    "  --signer-subject NAME    e.g. \"/CN=Publisher/O=Org/OU=Unit\"\n"
    "  --signer-serial HEX      serial number of the signer certificate\n"
    "  --signer-eku OID,...|none  extended key usages of the signer\n"
    "  --issuer-subject NAME    subject of the CA that issues the signer\n"
    "  --malform NAME           break the catalog in one named way (--list-malformations)\n"
    "  --print-members          print the collected member hashes, one per line\n"
    "  T is seconds since 1970 or YYYYMMDDhhmmss (UTC).\n";

namespace {

bool ParseHex(const std::string& text, Bytes& out) {
    if (text.empty() || text.size() % 2 != 0) return false;
    out.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) || !std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
            return false;
        }
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return true;
}

int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
    year -= month <= 2 ? 1 : 0;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool ParseTime(const std::string& text, int64_t& out) {
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    if (text.size() == 14) {
        auto field = [&text](size_t at, size_t size) { return std::stoll(text.substr(at, size)); };
        out = DaysFromCivil(field(0, 4), field(4, 2), field(6, 2)) * 86400 + field(8, 2) * 3600 + field(10, 2) * 60 +
              field(12, 2);
        return true;
    }
    if (text.empty() || text.size() > 11) return false;
    out = std::stoll(text);
    return true;
}

template <typename T>
bool Lookup(const std::map<std::string, T>& names, const std::string& text, T& out) {
    auto found = names.find(text);
    if (found == names.end()) return false;
    out = found->second;
    return true;
}

const std::map<std::string, MemberHash> kMemberHashes = {
    {"sha1", MemberHash::kSha1}, {"sha256", MemberHash::kSha256}, {"md5", MemberHash::kMd5}};
const std::map<std::string, Timestamp> kTimestamps = {
    {"none", Timestamp::kNone}, {"pkcs9", Timestamp::kPkcs9}, {"rfc3161", Timestamp::kRfc3161}};

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) out.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return out;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& line, std::string& error) {
    size_t memberCount = 3;
    std::vector<std::string> memberFiles;
    std::optional<MemberHash> memberHash;
    std::optional<Digest> timestampDigest;
    bool ok = true;
    auto digest = [&ok](const std::string& value, Digest& out) {
        std::optional<Digest> parsed = DigestFromName(value);
        ok = parsed.has_value();
        if (ok) out = *parsed;
    };
    auto time = [&ok](const std::string& value, std::optional<int64_t>& out) {
        int64_t parsed = 0;
        ok = ParseTime(value, parsed);
        out = parsed;
    };
    const std::map<std::string, std::function<void(const std::string&)>> valued = {
        {"-o", [&](const std::string& v) { line.output = v; }},
        {"--root-key", [&](const std::string& v) { line.rootKey = v; }},
        {"--root-cert", [&](const std::string& v) { line.rootCert = v; }},
        {"--tsa-root-key", [&](const std::string& v) { line.tsaRootKey = v; }},
        {"--tsa-root-cert", [&](const std::string& v) { line.tsaRootCert = v; }},
        {"--key-dir", [&](const std::string& v) { line.keyDirectory = v; }},
        {"--write-pki", [&](const std::string& v) { line.pkiDirectory = v; }},
        {"--key-bits", [&](const std::string& v) { line.keyBits = std::atoi(v.c_str()); ok = line.keyBits >= 512; }},
        {"--intermediates",
         [&](const std::string& v) {
             line.signerChain.intermediates = line.timeStamperChain.intermediates = std::atoi(v.c_str());
             ok = v == "1" || v == "2";
         }},
        {"--members",
         [&](const std::string& v) {
             ok = !v.empty() && v.find_first_not_of("0123456789") == std::string::npos;
             if (ok) memberCount = std::stoul(v);
         }},
        {"--member-file", [&](const std::string& v) { memberFiles.push_back(v); }},
        {"--member-hash",
         [&](const std::string& v) {
             MemberHash kind;
             ok = Lookup(kMemberHashes, v, kind);
             memberHash = kind;
         }},
        {"--hash", [&](const std::string& v) { digest(v, line.catalog.digest); }},
        {"--signing-time", [&](const std::string& v) { time(v, line.catalog.signingTime); }},
        {"--timestamp", [&](const std::string& v) { ok = Lookup(kTimestamps, v, line.catalog.timestamp); }},
        {"--timestamp-hash",
         [&](const std::string& v) {
             Digest parsed;
             digest(v, parsed);
             timestampDigest = parsed;
         }},
        {"--timestamp-time",
         [&](const std::string& v) {
             if (v == "none") {
                 line.catalog.timestampTime.reset();
             } else {
                 time(v, line.catalog.timestampTime);
             }
         }},
        {"--signer-subject", [&](const std::string& v) { line.signerChain.leafSubject = v; }},
        {"--signer-serial", [&](const std::string& v) { ok = ParseHex(v, line.signerChain.leafSerial); }},
        {"--signer-eku",
         [&](const std::string& v) {
             line.signerChain.leafExtendedKeyUsages = v == "none" ? std::vector<std::string>{} : SplitList(v);
         }},
        {"--issuer-subject", [&](const std::string& v) { line.signerChain.issuerSubject = v; }},
        {"--malform",
         [&](const std::string& v) {
             std::optional<Malformation> malformation = MalformationFromName(v);
             ok = malformation.has_value();
             if (ok) line.catalog.malformation = *malformation;
         }},
    };
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-h" || argument == "--help") {
            line.help = true;
        } else if (argument == "--list-malformations") {
            line.listMalformations = true;
        } else if (argument == "--print-members") {
            line.printMembers = true;
        } else if (auto found = valued.find(argument); found != valued.end()) {
            if (i + 1 == arguments.size()) {
                error = argument + " needs a value";
                return false;
            }
            found->second(arguments[++i]);
            if (!ok) {
                error = "bad value for " + argument + ": " + arguments[i];
                return false;
            }
        } else {
            error = "unknown argument " + argument;
            return false;
        }
    }
    if (line.help || line.listMalformations) return true;
    if (line.output.empty()) {
        error = "no output file (-o)";
        return false;
    }
    if (line.rootKey.empty() != line.rootCert.empty() || line.tsaRootKey.empty() != line.tsaRootCert.empty()) {
        error = "a root needs both its key and its certificate";
        return false;
    }
    MemberHash kind = memberHash.value_or(line.catalog.digest == Digest::kSha1 ? MemberHash::kSha1 : MemberHash::kSha256);
    line.catalog.trustList.members = SyntheticMembers(memberCount, kind);
    for (const std::string& path : memberFiles) {
        Member member;
        if (!MemberFromFile(path, kind, member)) {
            error = "cannot read member file " + path;
            return false;
        }
        line.catalog.trustList.members.push_back(member);
    }
    line.catalog.timestampDigest = timestampDigest.value_or(line.catalog.digest);
    line.signerChain.digest = line.timeStamperChain.digest = line.catalog.digest;
    return true;
}

bool LoadIdentity(const std::string& keyPath, const std::string& certPath, const std::string& role,
                  const std::string& name, Identity& identity) {
    if (keyPath.empty()) {
        identity = TestRoot(role, name);
        return true;
    }
    identity = {LoadKey(keyPath), LoadCertificate(certPath)};
    return identity.key != nullptr && identity.cert != nullptr;
}

bool WritePki(const std::string& directory, const Chain& signer, const Chain& timeStamper) {
    std::filesystem::path dir(directory);
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    auto writeDer = [&dir](const Certificate& cert, const char* name) {
        return WriteCatalog(dir / name, CertificateDer(cert));
    };
    return writeDer(signer.root.cert, "root.der") && SaveCertificatesPem({signer.root.cert}, dir / "root.pem") &&
           SaveCertificatesPem(signer.Embedded(), dir / "signer.pem") && SaveKeyPem(signer.leaf.key, dir / "signer.key.pem") &&
           writeDer(timeStamper.root.cert, "tsa-root.der") &&
           SaveCertificatesPem({timeStamper.root.cert}, dir / "tsa-root.pem") &&
           SaveCertificatesPem(timeStamper.Embedded(), dir / "tsa.pem") &&
           SaveKeyPem(timeStamper.leaf.key, dir / "tsa.key.pem");
}

}  // namespace korva::catgen
