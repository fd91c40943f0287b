// Fields of one flat line of JSON (the shared expected.jsonl, the tools'
// --json output): strings without escapes, numbers, null and arrays of strings.
#pragma once

#include <string>
#include <vector>

namespace korva::test {

// The raw text of `key`'s value, quotes and brackets included; empty when absent.
inline std::string JsonRaw(const std::string& line, const std::string& key) {
    size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) return {};
    at = line.find_first_not_of(' ', at + key.size() + 3);
    if (at == std::string::npos) return {};
    const char open = line[at];
    size_t end = open == '"' ? line.find('"', at + 1) + 1 : open == '[' ? line.find(']', at) + 1 : line.find_first_of(",}", at);
    return line.substr(at, end - at);
}

// The strings of a raw value: the items of an array, or the one string.
inline std::vector<std::string> JsonStrings(const std::string& raw) {
    std::vector<std::string> items;
    for (size_t at = raw.find('"'); at != std::string::npos; at = raw.find('"', at)) {
        size_t end = raw.find('"', at + 1);
        items.push_back(raw.substr(at + 1, end - at - 1));
        at = end + 1;
    }
    return items;
}

inline std::string JsonString(const std::string& line, const std::string& key) {
    const std::vector<std::string> items = JsonStrings(JsonRaw(line, key));
    return items.empty() ? std::string() : items[0];
}

}  // namespace korva::test
