#include "support/PathExpansion.h"

#include <algorithm>
#include <vector>

#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "platform/Types.h"
#include "support/PathExpansionMap.h"
#include "support/ShellFolders.h"

namespace korva::support {

namespace {

// No Windows path is longer; a map whose values multiply each other's
// tokens fails here instead of exhausting memory.
constexpr size_t kMaxExpandedLength = 32767;

void ExpansionEvent(uint32_t number, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Expansion, number, trace::Level::Error, data);
}

bool ResolveName(const std::wstring& name, std::wstring& value) {
    if (ResolveFromPathExpansionMap(name, value)) return true;
    const SpecialFolder* folder = FindSpecialFolder(name);
    return folder != nullptr && ResolveSpecialFolder(folder->value, value);
}

void ReplaceAll(std::wstring& text, const std::wstring& token, const std::wstring& value) {
    for (size_t at = text.find(token); at != std::wstring::npos; at = text.find(token, at + value.size())) {
        text.replace(at, token.size(), value);
    }
}

// Expands the first token of `working` until none is left. Each name may be
// expanded once: meeting it again means the map loops.
bool ExpandTokens(std::wstring& working) {
    std::vector<std::wstring> expanded;
    while (true) {
        size_t open = working.find(L'%');
        if (open == std::wstring::npos) return true;
        if (open + 1 == working.size()) {
            ExpansionEvent(21, {trace::Text(working)});
            return false;
        }
        size_t close = working.find(L'%', open + 1);
        if (close == std::wstring::npos) {
            ExpansionEvent(22, {trace::Text(working)});
            return false;
        }
        std::wstring token = working.substr(open, close - open + 1);
        std::wstring name = token.substr(1, token.size() - 2);
        for (wchar_t& c : name) c = platform::AsciiLower(c);
        if (name.empty()) {
            ExpansionEvent(23, {trace::Text(working)});
            return false;
        }
        std::wstring value;
        if (!ResolveName(name, value)) {
            ExpansionEvent(25, {trace::Text(name)});
            return false;
        }
        if (std::find(expanded.begin(), expanded.end(), name) != expanded.end()) {
            ExpansionEvent(24, {trace::Text(name)});
            return false;
        }
        expanded.push_back(std::move(name));
        ReplaceAll(working, token, value);
        if (working.size() > kMaxExpandedLength) return false;
    }
}

bool IsCollapsible(wchar_t c) { return c == L'\\' || c == platform::kPathSeparator; }

// Joined values leave doubled separators ("C:\X\" + "\Y"): collapse every run
// of one separator to a single one. A leading pair stays, so that a UNC path
// ("\\server\share", or "//server/share" on POSIX) keeps its meaning. On
// POSIX '/' runs are collapsed as well as '\' runs, since the map's values
// there are host paths.
void CollapseDoubledSeparators(std::wstring& path) {
    bool uncPrefix = path.size() >= 2 && IsCollapsible(path[0]) && path[1] == path[0];
    size_t kept = 0;
    for (wchar_t c : path) {
        if (kept != 0 && IsCollapsible(c) && path[kept - 1] == c) continue;
        path[kept++] = c;
    }
    path.resize(kept);
    if (uncPrefix) path.insert(path.begin(), path[0]);
}

}  // namespace

bool ExpandPath(const wchar_t* input, std::wstring& out) {
    try {
        out.clear();
        if (input == nullptr) {
            ExpansionEvent(26);
            return false;
        }
        out = input;
        bool expanded = false;
        if (OpenPathExpansionMap()) {
            if (out.size() < 3) return true;
            std::wstring working = out;
            expanded = ExpandTokens(working);
            if (expanded) out = std::move(working);
        }
        CollapseDoubledSeparators(out);
        return expanded;
    } catch (...) {
        // Out of memory: the expansion fails; `out` keeps what it has.
        return false;
    }
}

}  // namespace korva::support
