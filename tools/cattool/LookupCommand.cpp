// lookup CATDB (HASH | FILE)...: which catalog vouches for a hash, looked up in
// the file's member hashes as the driver looks it up. For a file, the digests
// a catalog would list for it: Authenticode for a PE image, flat otherwise.
#include <optional>

#include "engine/MemberHash.h"
#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "platform/WholeFile.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/DatabaseView.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/LoadReport.h"
#include "tools/cattool/PeImage.h"
#include "tools/cattool/Text.h"

namespace korva::cattool {

namespace tvt = TarnVerifyTrustDriver;

namespace {

// Files to hash may be large installers; beyond 4 GiB no PE image exists.
constexpr size_t kMaxFileSize = size_t{1} << 32;

struct Answer {
    const char* algorithm;
    std::vector<uint8_t> digest;
    std::optional<uint32_t> record;
};

struct Item {
    std::string input;
    const char* kind = "hash";  // "hash", "pe", "flat" or "malformed-pe"
    const char* problem = nullptr;
    std::vector<Answer> answers;
    bool Found() const {
        for (const Answer& answer : answers) {
            if (answer.record) return true;
        }
        return false;
    }
};

std::optional<uint32_t> Find(tvt::CatalogStore& store, std::span<const uint8_t> digest) {
    tvt::MemberHash hash;
    std::copy(digest.begin(), digest.end(), hash.bytes);
    hash.length = static_cast<uint32_t>(digest.size());
    const tvt::HashEntry* entry = store.hashes().Find(hash);
    if (entry == nullptr) return std::nullopt;
    return entry->index;
}

bool DigestFile(const std::wstring& path, Item& item, std::string& error) {
    std::vector<uint8_t> bytes;
    if (uint32_t code = platform::ReadWholeFile(path.c_str(), kMaxFileSize, bytes); code != platform::kErrorSuccess) {
        error = ReadError(path, code);
        return false;
    }
    ImageLayout layout = LayOutImage(bytes);
    item.kind = layout.kind == ImageKind::Pe ? "pe" : layout.kind == ImageKind::Flat ? "flat" : "malformed-pe";
    item.problem = layout.problem;
    for (auto [name, algorithm] : {std::pair{"sha1", crypto::HashAlgorithm::Sha1}, std::pair{"sha256", crypto::HashAlgorithm::Sha256}}) {
        crypto::Digest digest = DigestImage(bytes, layout, algorithm);
        item.answers.push_back({name, {digest.view().begin(), digest.view().end()}, std::nullopt});
    }
    return true;
}

std::string Where(const std::vector<std::vector<RecordName>>& names, uint32_t record) {
    std::string text;
    if (record < names.size()) {
        for (const RecordName& name : names[record]) {
            text += (text.empty() ? "" : ", ") + platform::WideToUtf8(name.stored);
            if (!name.host.empty()) text += " (" + platform::WideToUtf8(name.host) + ")";
        }
    }
    return text.empty() ? "record " + std::to_string(record) + " (no name)" : text;
}

std::optional<std::string> Subject(tvt::CatalogStore& store, uint32_t record) {
    if (record >= store.records().count()) return std::nullopt;
    uint8_t index = store.records()[record].signerValue1;
    if (index >= store.signerValues().count()) return std::nullopt;
    return PrintableText(store.signerValues()[index].value.bytes());
}

std::string ItemsJson(const std::wstring& path, DatabaseView& view, const std::vector<Item>& items, bool all) {
    std::vector<std::vector<std::wstring>> paths = view.PathsByRecord();
    std::vector<std::vector<RecordName>> names = view.NamesByRecord();
    JsonWriter json;
    json.BeginObject().Key("schema").Number(1).Key("command").String("lookup");
    json.Key("file").String(platform::WideToUtf8(path)).Key("found").Bool(all).Key("items").BeginArray();
    for (const Item& item : items) {
        json.BeginObject().Key("input").String(item.input).Key("kind").String(item.kind).Key("problem");
        item.problem ? json.String(item.problem) : json.Null();
        json.Key("found").Bool(item.Found()).Key("digests").BeginArray();
        for (const Answer& answer : item.answers) {
            json.BeginObject().Key("algorithm").String(answer.algorithm).Key("hex").String(Hex(answer.digest));
            json.Key("found").Bool(answer.record.has_value()).Key("record");
            answer.record ? json.Number(*answer.record) : json.Null();
            json.Key("paths").BeginArray();
            if (answer.record && *answer.record < paths.size()) {
                for (const std::wstring& p : paths[*answer.record]) json.String(platform::WideToUtf8(p));
            }
            json.EndArray();
            WriteNamesJson(json, answer.record && *answer.record < names.size() ? names[*answer.record]
                                                                                : std::vector<RecordName>());
            json.Key("subject");
            std::optional<std::string> subject = answer.record ? Subject(*view.store, *answer.record) : std::nullopt;
            subject ? json.String(*subject) : json.Null();
            json.EndObject();
        }
        json.EndArray().EndObject();
    }
    return json.EndArray().EndObject().Finish();
}

std::string ItemsText(DatabaseView& view, const std::vector<Item>& items) {
    std::vector<std::vector<RecordName>> names = view.NamesByRecord();
    std::string text;
    for (const Item& item : items) {
        text += item.input;
        if (item.kind != std::string("hash")) text += std::string(" (") + item.kind + ")";
        text += item.Found() ? ": found\n" : ": not found\n";
        if (item.problem) text += std::string("  not a well-formed PE image (") + item.problem + "): flat digests\n";
        for (const Answer& answer : item.answers) {
            text += std::string("  ") + answer.algorithm + " " + Hex(answer.digest);
            if (answer.record) {
                text += " -> " + Where(names, *answer.record);
                if (std::optional<std::string> subject = Subject(*view.store, *answer.record)) text += " signed by \"" + *subject + "\"";
            } else {
                text += " -> no catalog";
            }
            text += "\n";
        }
    }
    return text;
}

}  // namespace

int RunLookup(const Invocation& invocation, CommandOutput& output) {
    const std::wstring& path = invocation.operands[0];
    DatabaseView view;
    if (!OpenDatabaseOperand(path, view, output)) return kExitError;
    if (!view.loads) {
        output.err = "KorvaCatalogTool: " + platform::WideToUtf8(path) + ": " + LoadVerdictText(view) + "\n";
        return kExitError;
    }
    std::vector<Item> items;
    for (size_t i = 1; i < invocation.operands.size(); ++i) {
        const std::wstring& operand = invocation.operands[i];
        Item item;
        item.input = platform::WideToUtf8(operand);
        if (std::optional<std::vector<uint8_t>> digest = ParseDigestHex(item.input)) {
            item.answers.push_back({digest->size() == 20 ? "sha1" : "sha256", *digest, std::nullopt});
        } else if (!DigestFile(operand, item, output.err)) {
            return kExitError;
        }
        for (Answer& answer : item.answers) answer.record = Find(*view.store, answer.digest);
        items.push_back(std::move(item));
    }
    bool all = true;
    for (const Item& item : items) all = all && item.Found();
    output.out = invocation.json ? ItemsJson(path, view, items, all) : ItemsText(view, items);
    return all ? kExitSuccess : kExitNegative;
}

}  // namespace korva::cattool
