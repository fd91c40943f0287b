#include "engine/CatalogDatabase.h"

#include <gtest/gtest.h>

#include "platform/Trace.h"
#include "platform/TraceRecorder.h"
#include "platform/Types.h"

namespace TarnVerifyTrustDriver {
namespace {

using korva::trace::Recorder;
using korva::trace::Source;

std::wstring Host(std::wstring path) {
    for (wchar_t& c : path) c = c == L'\\' ? korva::platform::kPathSeparator : c;
    return path;
}

TEST(CatalogDatabase, FirstHandleStartsTheEngineAndLastReleaseEndsIt) {
    CCatalogDatabase* first = nullptr;
    CCatalogDatabase* second = nullptr;
    ASSERT_EQ(CreateCatalogDatabase(Host(L"out\\one\\\\").c_str(), &first), kSuccess);
    CCatalogDatabaseSingleton* engine = CCatalogDatabaseSingleton::Instance();
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->outputDirectory(), Host(L"out\\one"));
    EXPECT_EQ(engine->databasePath(), Host(L"out\\one\\Cat.DB"));

    // A second handle only adds a reference; the engine keeps the first directory.
    ASSERT_EQ(CreateCatalogDatabase(Host(L"out\\two").c_str(), &second), kSuccess);
    EXPECT_EQ(CCatalogDatabaseSingleton::Instance(), engine);
    EXPECT_EQ(engine->referenceCount(), 2u);
    EXPECT_EQ(engine->outputDirectory(), Host(L"out\\one"));

    EXPECT_EQ(ReleaseCatalogDatabase(second), kSuccess);
    EXPECT_EQ(CCatalogDatabaseSingleton::Instance(), engine);
    EXPECT_EQ(ReleaseCatalogDatabase(first), kSuccess);
    EXPECT_EQ(CCatalogDatabaseSingleton::Instance(), nullptr);
}

// Null arguments give the invalid pointer code; an empty directory, a handle without engine.
TEST(CatalogDatabase, BadArgumentsLeaveNoEngine) {
    EXPECT_EQ(CreateCatalogDatabase(L"x", nullptr), kInvalidPointer);
    EXPECT_EQ(ReleaseCatalogDatabase(nullptr), kInvalidPointer);
    Recorder recorder;
    CCatalogDatabase* handle = nullptr;
    ASSERT_EQ(CreateCatalogDatabase(L"", &handle), kSuccess);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(CCatalogDatabaseSingleton::Instance(), nullptr);
    EXPECT_TRUE(recorder.Has(Source::Engine, 24));
    EXPECT_TRUE(recorder.Has(Source::Engine, 12));
    EXPECT_EQ(ReleaseCatalogDatabase(handle), kSuccess);
}

TEST(CatalogDatabase, StripTrailingSeparatorsRemovesTheWholeRun) {
    for (auto [path, stripped] : {std::pair{L"C:\\Out\\\\", L"C:\\Out"}, {L"\\\\\\", L""}}) {
        std::wstring host = Host(path);
        StripTrailingBackslashes(host);
        EXPECT_EQ(host, Host(stripped));
    }
}

}  // namespace
}  // namespace TarnVerifyTrustDriver
