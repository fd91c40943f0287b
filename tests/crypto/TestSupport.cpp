#include "tests/crypto/TestSupport.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/crypto/TestKeys.h"
#include "toolkit/crypto/Montgomery.h"

namespace korva::crypto::test {

namespace {

std::string Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return std::string(s);
}

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : text_(text) {}

    std::optional<Json> Document() {
        Json value;
        if (!Value(value)) return std::nullopt;
        SkipSpace();
        if (pos_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
    }
    bool Take(char c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) return ++pos_, true;
        return false;
    }
    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    bool String(std::string& out) {
        if (!Take('"')) return false;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c == '\\' && pos_ < text_.size()) {
                const char escaped = text_[pos_++];
                if (escaped == 'u') {  // the files use \u only in comments; keep a placeholder
                    pos_ += 4;
                    c = '?';
                } else {
                    c = escaped == 'n' ? '\n' : escaped == 't' ? '\t' : escaped;
                }
            }
            out.push_back(c);
        }
        return Take('"');
    }
    bool Value(Json& out) {
        SkipSpace();
        if (pos_ >= text_.size()) return false;
        const char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            out.kind = Json::Kind::Object;
            if (Take('}')) return true;
            do {
                std::string name;
                Json member;
                if (!String(name) || !Take(':') || !Value(member)) return false;
                out.names.push_back(std::move(name));
                out.members.push_back(std::move(member));
            } while (Take(','));
            return Take('}');
        }
        if (c == '[') {
            ++pos_;
            out.kind = Json::Kind::Array;
            if (Take(']')) return true;
            do {
                out.array.emplace_back();
                if (!Value(out.array.back())) return false;
            } while (Take(','));
            return Take(']');
        }
        if (c == '"') return out.kind = Json::Kind::String, String(out.string);
        if (Literal("true")) return out.kind = Json::Kind::Bool, out.boolean = true, true;
        if (Literal("false")) return out.kind = Json::Kind::Bool, true;
        if (Literal("null")) return true;
        const char* begin = text_.data() + pos_;
        const auto [end, error] = std::from_chars(begin, text_.data() + text_.size(), out.number);
        if (error != std::errc()) return false;
        out.kind = Json::Kind::Number;
        pos_ += static_cast<size_t>(end - begin);
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

Bytes RandomBytes(std::mt19937_64& rng, size_t size) {
    Bytes out(size);
    for (uint8_t& b : out) b = static_cast<uint8_t>(rng());
    return out;
}

Bytes RawRsa(const Bytes& modulus, const Bytes& exponent, const Bytes& value) {
    detail::MontgomeryModulus n;
    if (!n.Init(modulus)) return {};
    const size_t k = n.limbCount();
    detail::Limbs base{}, power{};
    detail::LimbsFromBytes(value, std::span(base).first(k));
    detail::LimbsFromBytes(exponent, std::span(power).first(k));
    n.Power(std::span(base).first(k), std::span(base).first(k), std::span(power).first(k));
    Bytes out(detail::StripLeadingZeros(modulus).size());
    detail::LimbsToBytes(std::span(base).first(k), out);
    return out;
}

Bytes Type1Block(const Bytes& tail, size_t ffCount, uint8_t type) {
    if (ffCount == kFillBlock) ffCount = 256 - 3 - tail.size();
    return Concat({{0x00, type}, Bytes(ffCount, 0xff), {0x00}, tail});
}

Bytes SignWithTestKey(const Bytes& block) { return RawRsa(FromHex(kE3Modulus), FromHex(kE3PrivateExponent), block); }

bool SharedDataRequired() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::string_view(ci) == "true";
}

std::optional<std::string> ReadVectorFile(const std::string& relativePath) {
    std::ifstream in(std::string(KORVA_SHARED_DIR) + "/vectors/" + relativePath, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<RspRecord> ParseRsp(const std::string& text) {
    std::vector<RspRecord> records;
    RspRecord current;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string trimmed = Trim(line);
        const size_t eq = trimmed.find('=');
        if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == '[' || eq == std::string::npos) {
            if (!current.empty()) records.push_back(std::move(current));
            current.clear();
            continue;
        }
        current[Trim(std::string_view(trimmed).substr(0, eq))] = Trim(std::string_view(trimmed).substr(eq + 1));
    }
    if (!current.empty()) records.push_back(std::move(current));
    return records;
}

const Json& Json::operator[](std::string_view name) const {
    static const Json kNull;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) return members[i];
    }
    return kNull;
}

std::optional<Json> ParseJson(std::string_view text) { return JsonParser(text).Document(); }

}  // namespace korva::crypto::test
