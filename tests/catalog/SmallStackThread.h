// Runs a function on a thread with a small machine stack, to show that a
// piece of code does not recurse with its input.
#pragma once

#include <cstddef>
#include <functional>

namespace korva::catalog_test {

// False when the thread cannot be started.
bool RunOnSmallStack(size_t stackSize, const std::function<void()>& body);

}  // namespace korva::catalog_test
