// Whether a run takes its shortcuts: results cached within a run and the
// store's batched writes. No result depends on it; they are on unless a test
// turns them off to compare.
#pragma once

namespace TarnVerifyTrustDriver {

bool FastPathsEnabled();

}  // namespace TarnVerifyTrustDriver
