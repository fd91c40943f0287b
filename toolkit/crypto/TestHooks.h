// Hooks for tests and benchmarks only; the tool never calls them.
#pragma once

namespace korva::crypto::testing {

// Makes every hash use its portable code even where the processor offers
// faster instructions, so that both paths can be checked on one machine.
void ForcePortableCode(bool force);

}  // namespace korva::crypto::testing
