#include "tools/cattool/TestRoots.h"

#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "platform/WholeFile.h"

namespace korva::cattool {

namespace {

constexpr size_t kMaxRootSize = 64 * 1024;
// Ids of added roots: in the code-signing group's range, clear of the table's.
constexpr uint64_t kFirstTestRootId = 200;
constexpr uint32_t kCodeSigningGroup = 1;

}  // namespace

bool TakeTestRoots(const std::vector<std::wstring>& operands, std::vector<std::wstring>& rootPaths,
                   std::vector<std::wstring>& rest, TarnVerifyTrustDriver::CExtraRoots& roots, CommandOutput& output) {
    for (size_t i = 0; i < operands.size(); ++i) {
        if (operands[i] == kTrustTestRootOption && i + 1 < operands.size()) {
            rootPaths.push_back(operands[++i]);
        } else {
            rest.push_back(operands[i]);
        }
    }
    for (size_t i = 0; i < rootPaths.size(); ++i) {
        std::vector<uint8_t> der;
        uint32_t code = platform::ReadWholeFile(rootPaths[i].c_str(), kMaxRootSize, der);
        if (code != platform::kErrorSuccess) {
            output.err = ReadError(rootPaths[i], code);
            return false;
        }
        if (roots.Add(kCodeSigningGroup, kFirstTestRootId + i, der) != 1) {
            output.err = "KorvaCatalogTool: " + platform::WideToUtf8(rootPaths[i]) + ": cannot be added as a root\n";
            return false;
        }
    }
    return true;
}

}  // namespace korva::cattool
