// korva-peer: verifies catalog files with libcrypto alone and prints each
// one's verdict and member hashes, to compare with what the engine records.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/peer/PeerVerifier.h"

namespace {

const char kUsage[] =
    "usage: korva-peer --code-signing-root ROOT.der... [--time-stamping-root ROOT.der...] CATALOG.cat...\n"
    "Prints \"accepted\" or \"refused\" for each catalog, then its SHA-1 and SHA-256 member hashes in hex.\n"
    "Exits 0 when every catalog was accepted, 1 when one was refused, 2 on bad usage.\n";

bool Read(const std::string& path, korva::peer::Bytes& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<korva::peer::Bytes> codeSigning, timeStamping;
    std::vector<std::string> catalogs;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::vector<korva::peer::Bytes>* roots = argument == "--code-signing-root"    ? &codeSigning
                                                 : argument == "--time-stamping-root" ? &timeStamping
                                                                                      : nullptr;
        if (roots == nullptr) {
            catalogs.push_back(argument);
            continue;
        }
        korva::peer::Bytes root;
        if (++i == argc || !Read(argv[i], root)) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        roots->push_back(root);
    }
    if (codeSigning.empty() || catalogs.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const korva::peer::PeerVerifier peer(codeSigning, timeStamping);
    bool allAccepted = true;
    for (const std::string& path : catalogs) {
        korva::peer::Bytes catalog;
        const korva::peer::Verdict verdict = Read(path, catalog) ? peer.Verify(catalog) : korva::peer::Verdict{};
        allAccepted = allAccepted && verdict.accepted;
        std::printf("%s: %s\n", path.c_str(), verdict.accepted ? "accepted" : "refused");
        for (const korva::peer::Bytes& hash : verdict.memberHashes) {
            for (uint8_t octet : hash) std::printf("%02X", octet);
            std::printf("\n");
        }
    }
    return allAccepted ? 0 : 1;
}
