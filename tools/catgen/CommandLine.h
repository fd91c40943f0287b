// The generator's command line: what to build, parsed into the library's
// option records, plus loading and exporting the keys and certificates.
#pragma once

#include <string>
#include <vector>

#include "tools/catgen/Catalog.h"

namespace korva::catgen {

extern const char* const kUsage;

struct CommandLine {
    bool help = false;
    bool listMalformations = false;
    bool printMembers = false;
    std::string output;
    std::string rootKey, rootCert, tsaRootKey, tsaRootCert;
    std::string keyDirectory;
    std::string pkiDirectory;
    int keyBits = 2048;
    CatalogOptions catalog;
    ChainOptions signerChain;
    ChainOptions timeStamperChain;
};

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& line, std::string& error);

// A root from a PEM key and a PEM/DER certificate, or with both paths empty
// a fresh TestRoot(role, name).
bool LoadIdentity(const std::string& keyPath, const std::string& certPath, const std::string& role,
                  const std::string& name, Identity& identity);

// root.der, root.pem, signer.pem (leaf first, then its CAs), signer.key.pem,
// and the same for the time-stamping chain as tsa-root.*, tsa.pem, tsa.key.pem.
bool WritePki(const std::string& directory, const Chain& signer, const Chain& timeStamper);

}  // namespace korva::catgen
