// Writes a Cat.DB through the engine's store and file code, as a build will,
// and runs the tool's commands on it in process.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/CatalogDatabaseFile.h"
#include "tests/common/TempFiles.h"
#include "tests/engine/StoreTestSupport.h"
#include "tools/cattool/Commands.h"

namespace korva::cattool::test {

namespace tvt = TarnVerifyTrustDriver;

// Adds `catalogs` (path, catalog, last-write time) in order and saves; the
// directory's Cat.DB then holds them.
inline void BuildDatabase(const test_support::TempDirectory& directory,
                          const std::vector<std::pair<std::wstring, tvt::test::FakeCatalog>>& catalogs) {
    tvt::test::SystemDirectory();
    tvt::test::FakeVerifier verifier;
    tvt::CatalogStore store;
    uint32_t time = 1;
    for (const auto& [path, catalog] : catalogs) {
        verifier.catalogs[path] = catalog;
        ASSERT_TRUE(store.AddCatalog(path, {tvt::kFileAttributeArchive, {time++, 0x01D00000}}, verifier));
    }
    tvt::CatalogDatabaseFile file(directory.path().wstring());
    ASSERT_FALSE(tvt::Failed(file.LoadDatabaseFile(store)));
    ASSERT_FALSE(tvt::Failed(file.SaveDatabaseFile(store)));
}

struct ToolRun {
    int code = 0;
    std::string out;
    std::string err;
};

inline ToolRun RunToolWith(std::vector<std::wstring> arguments) {
    CommandOutput output;
    int code = RunTool(arguments, output);
    return {code, output.out, output.err};
}

}  // namespace korva::cattool::test
