// korva-catgen: writes one test catalog. See tools/catgen/README.md.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/catgen/Catalog.h"
#include "tools/catgen/CommandLine.h"

namespace catgen = korva::catgen;

namespace {

void PrintHex(const catgen::Bytes& bytes) {
    for (uint8_t octet : bytes) std::printf("%02x", octet);
    std::printf("\n");
}

int Run(const catgen::CommandLine& line) {
    if (line.listMalformations) {
        for (const catgen::MalformationName& entry : catgen::MalformationNames()) {
            std::printf("%-34s %s\n", std::string(entry.name).c_str(), std::string(entry.description).c_str());
        }
        return 0;
    }
    if (!line.keyDirectory.empty()) catgen::SetKeyDirectory(line.keyDirectory);
    catgen::SetKeyBits(line.keyBits);

    catgen::Identity root;
    if (!catgen::LoadIdentity(line.rootKey, line.rootCert, "root", "Korva Test Root", root)) {
        std::fprintf(stderr, "korva-catgen: cannot read the root key or certificate\n");
        return 1;
    }
    catgen::Identity tsaRoot = root;
    if (!line.tsaRootKey.empty() && !catgen::LoadIdentity(line.tsaRootKey, line.tsaRootCert, "", "", tsaRoot)) {
        std::fprintf(stderr, "korva-catgen: cannot read the time-stamping root key or certificate\n");
        return 1;
    }

    catgen::Chain signer = catgen::SignerChainFor(root, line.signerChain, line.catalog.malformation);
    catgen::Chain timeStamper = catgen::TimeStamperChainFor(tsaRoot, line.timeStamperChain, line.catalog.malformation);
    catgen::Catalog catalog = catgen::BuildCatalog(line.catalog, signer, &timeStamper);
    if (!catgen::WriteCatalog(line.output, catalog.der)) {
        std::fprintf(stderr, "korva-catgen: cannot write %s\n", line.output.c_str());
        return 1;
    }
    if (!line.pkiDirectory.empty() && !catgen::WritePki(line.pkiDirectory, signer, timeStamper)) {
        std::fprintf(stderr, "korva-catgen: cannot write the keys and certificates to %s\n", line.pkiDirectory.c_str());
        return 1;
    }
    if (line.printMembers) {
        for (const catgen::Bytes& hash : catalog.memberHashes) PrintHex(hash);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    catgen::CommandLine line;
    std::string error;
    if (!catgen::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), line, error)) {
        std::fprintf(stderr, "korva-catgen: %s\n%s", error.c_str(), catgen::kUsage);
        return 1;
    }
    if (line.help) {
        std::printf("%s", catgen::kUsage);
        return 0;
    }
    try {
        return Run(line);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "korva-catgen: %s\n", failure.what());
        return 1;
    }
}
