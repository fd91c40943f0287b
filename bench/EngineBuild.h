// One full update cycle of the engine through its library, with the tree's
// test roots trusted beside the built-in ones, optionally recording what the
// engine's verifier decided for every catalog it walked.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tools/peer/PeerVerifier.h"

namespace korva::bench {

using peer::PeerVerifier;
using peer::Verdict;

// Verdicts by CatalogKey.
using Verdicts = std::map<std::string, Verdict>;

// A catalog's name with its directory's ("{GUID}/name.cat"), whichever
// separators and prefix the path carries.
std::string CatalogKey(const std::string& path);

class EngineBuild {
public:
    EngineBuild(const std::vector<catgen::Bytes>& codeSigningRoots, const std::vector<catgen::Bytes>& timeStampingRoots);
    ~EngineBuild();
    EngineBuild(const EngineBuild&) = delete;
    EngineBuild& operator=(const EngineBuild&) = delete;

    // Runs one update cycle over `systemDirectory` into `outputDirectory`
    // (created when missing; an existing Cat.DB is kept, so a second call is a
    // rerun). With `verdicts`, every walked catalog's verdict lands there.
    // False when the engine could not be started or a root was refused, and
    // for a system directory other than the first of the process: the engine
    // looks that up once per process.
    bool Run(const std::filesystem::path& systemDirectory, const std::filesystem::path& outputDirectory,
             Verdicts* verdicts, std::string& error);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The roots as DER files in `directory` (cs-N.der, ts-N.der), for a child
// process to load again with LoadRoots.
bool SaveRoots(const std::filesystem::path& directory, const std::vector<catgen::Bytes>& codeSigningRoots,
               const std::vector<catgen::Bytes>& timeStampingRoots);
bool LoadRoots(const std::filesystem::path& directory, std::vector<catgen::Bytes>& codeSigningRoots,
               std::vector<catgen::Bytes>& timeStampingRoots);

}  // namespace korva::bench
