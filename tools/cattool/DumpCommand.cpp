// dump CATDB: everything the file holds, read through the engine's loader.
#include <cstdio>

#include "platform/TextConversion.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/LoadReport.h"
#include "tools/cattool/Text.h"

namespace korva::cattool {

namespace tvt = TarnVerifyTrustDriver;

namespace {

constexpr const char* kValueRoles[4] = {"subject", "issuer", "serial", "certificate-sha1"};

std::string Format(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::span<const uint8_t> ValueBytes(tvt::CatalogStore& store, uint8_t index) {
    if (index >= store.signerValues().count()) return {};
    return store.signerValues()[index].value.bytes();
}

// A signer value as people read it: quoted text for a name, hex otherwise.
std::string ValueText(tvt::CatalogStore& store, uint8_t index, bool asText) {
    if (index == tvt::kUnsetSignerValue) return "unset";
    if (index >= store.signerValues().count()) return Format("[%u] beyond the table", index);
    std::span<const uint8_t> bytes = ValueBytes(store, index);
    std::optional<std::string> text = asText ? PrintableText(bytes) : std::nullopt;
    return Format("[%u] ", index) + (text ? "\"" + *text + "\"" : bytes.empty() ? "(empty)" : Hex(bytes));
}

void WriteValueJson(JsonWriter& json, tvt::CatalogStore& store, uint8_t index) {
    if (index == tvt::kUnsetSignerValue || index >= store.signerValues().count()) {
        json.BeginObject().Key("index").Number(index).Key("hex").Null().Key("text").Null().EndObject();
        return;
    }
    std::span<const uint8_t> bytes = ValueBytes(store, index);
    std::optional<std::string> text = PrintableText(bytes);
    json.BeginObject().Key("index").Number(index).Key("hex").String(Hex(bytes)).Key("text");
    text ? json.String(*text) : json.Null();
    json.EndObject();
}

uint64_t Ticks(const tvt::FileTime& time) { return (uint64_t{time.high} << 32) | time.low; }

std::vector<std::vector<std::string>> HashesByRecord(tvt::CatalogStore& store) {
    std::vector<std::vector<std::string>> hashes(store.records().count());
    tvt::HashKeyOrder(store.hashes(), false).ForEach([&](tvt::HashEntry& entry) {
        if (entry.index < hashes.size()) hashes[entry.index].push_back(Hex(entry.view()));
        return true;
    });
    return hashes;
}

void WriteTallyJson(JsonWriter& json, const char* name, const EntryTally& tally) {
    json.Key(name).BeginObject().Key("count").Number(tally.count).Key("bytes").Number(tally.bytes);
    json.Key("superseded").Number(tally.superseded).Key("supersededBytes").Number(tally.supersededBytes).EndObject();
}

std::string DumpJson(const std::wstring& path, DatabaseView& view) {
    tvt::CatalogStore& store = *view.store;
    const RawWalk& walk = view.walk;
    JsonWriter json;
    json.BeginObject().Key("schema").Number(1).Key("command").String("dump");
    json.Key("file").String(platform::WideToUtf8(path)).Key("size").Number(view.bytes.size());
    json.Key("header").BeginObject().Key("magic").Number(view.magic).Key("version").Number(view.version);
    json.Key("dirty").Number(view.dirty).EndObject();
    json.Key("load");
    WriteLoadJson(json, view);
    json.Key("entries").BeginObject();
    WriteTallyJson(json, "record", walk.records);
    WriteTallyJson(json, "name", walk.names);
    WriteTallyJson(json, "hash", walk.hashes);
    WriteTallyJson(json, "signerValue", walk.signerValues);
    json.Key("walkEnd").Number(walk.end).Key("walkComplete").Bool(walk.complete).EndObject();
    uint64_t supersededBytes = walk.records.supersededBytes + walk.names.supersededBytes + walk.hashes.supersededBytes;
    json.Key("supersededBytes").Number(supersededBytes);
    if (!view.loads) return json.EndObject().Finish();
    json.Key("signerValues").BeginObject().Key("count").Number(store.signerValues().count());
    json.Key("capacity").Number(tvt::CatalogStore::kMaxSignerValues).Key("values").BeginArray();
    for (uint32_t i = 0; i < store.signerValues().count(); ++i) WriteValueJson(json, store, static_cast<uint8_t>(i));
    json.EndArray().EndObject();
    std::vector<std::vector<std::wstring>> paths = view.PathsByRecord();
    std::vector<std::vector<RecordName>> names = view.NamesByRecord();
    std::vector<std::vector<std::string>> hashes = HashesByRecord(store);
    json.Key("records").BeginArray();
    for (uint32_t i = 0; i < store.records().count(); ++i) {
        const tvt::CatalogRecord& r = store.records()[i];
        json.BeginObject().Key("index").Number(i).Key("paths").BeginArray();
        for (const std::wstring& p : paths[i]) json.String(platform::WideToUtf8(p));
        json.EndArray();
        WriteNamesJson(json, names[i]);
        json.Key("fileTime").String(IsoFromFileTime(Ticks(r.fileTime))).Key("fileTimeTicks").Number(Ticks(r.fileTime));
        json.Key("signerValues").BeginObject();
        const uint8_t indexes[4] = {r.signerValue1, r.signerValue2, r.signerValue3, r.signerValue4};
        for (int v = 0; v < 4; ++v) {
            json.Key(kValueRoles[v]);
            WriteValueJson(json, store, indexes[v]);
        }
        json.EndObject().Key("signerFlags").BeginObject().Key("value").Number(r.signerFlags).Key("bits").BeginArray();
        for (const std::string& name : SignerFlagNames(r.signerFlags)) json.String(name);
        json.EndArray().EndObject().Key("timeValue").Number(r.timeValue).Key("time");
        r.timeValue != 0 ? json.String(IsoFromUnixSeconds(r.timeValue)) : json.Null();
        json.Key("hashes").BeginArray();
        for (const std::string& h : hashes[i]) json.String(h);
        json.EndArray().EndObject();
    }
    return json.EndArray().EndObject().Finish();
}

std::string Counted(uint64_t count, const char* singular, const char* plural) {
    return Format("%llu %s", static_cast<unsigned long long>(count), count == 1 ? singular : plural);
}

std::string Tally(const char* singular, const char* plural, const EntryTally& tally) {
    return Counted(tally.count, singular, plural) + Format(" (%llu bytes)", static_cast<unsigned long long>(tally.bytes));
}

std::string DumpText(const std::wstring& path, DatabaseView& view) {
    tvt::CatalogStore& store = *view.store;
    const RawWalk& walk = view.walk;
    std::string text = "Cat.DB " + platform::WideToUtf8(path) + Format(" (%zu bytes)\n", view.bytes.size());
    text += Format("header: magic %u, version %u, dirty %u\n", view.magic, view.version, view.dirty);
    text += "load: " + LoadVerdictText(view) + "\n";
    text += "entries: " + Tally("record", "records", walk.records) + ", " + Tally("name", "names", walk.names) + ", " +
            Tally("member hash", "member hashes", walk.hashes) + ", " +
            Tally("signer value", "signer values", walk.signerValues) + "\n";
    if (!walk.complete) text += Format("entry walk stopped at offset %llu\n", static_cast<unsigned long long>(walk.end));
    text += "superseded: " + Counted(walk.records.superseded, "record", "records") + ", " +
            Counted(walk.names.superseded, "name", "names") + ", " +
            Counted(walk.hashes.superseded, "member hash", "member hashes") +
            Format(": %llu bytes\n", static_cast<unsigned long long>(walk.records.supersededBytes + walk.names.supersededBytes +
                                                                   walk.hashes.supersededBytes));
    if (!view.loads) return text;
    text += Format("signer values: %u of %u\n", store.signerValues().count(), tvt::CatalogStore::kMaxSignerValues);
    for (uint32_t i = 0; i < store.signerValues().count(); ++i) {
        text += "  " + ValueText(store, static_cast<uint8_t>(i), true) + "\n";
    }
    std::vector<std::vector<RecordName>> names = view.NamesByRecord();
    std::vector<std::vector<std::string>> hashes = HashesByRecord(store);
    text += Format("records: %u\n", store.records().count());
    for (uint32_t i = 0; i < store.records().count(); ++i) {
        const tvt::CatalogRecord& r = store.records()[i];
        text += Format("  [%u]", i);
        for (const RecordName& name : names[i]) text.append(" ").append(platform::WideToUtf8(name.stored));
        for (const RecordName& name : names[i]) {
            if (!name.host.empty()) text += "\n      host path         " + platform::WideToUtf8(name.host);
        }
        text += "\n      file time         " + IsoFromFileTime(Ticks(r.fileTime)) + "\n";
        text += "      subject           " + ValueText(store, r.signerValue1, true) + "\n";
        text += "      issuer            " + ValueText(store, r.signerValue2, true) + "\n";
        text += "      serial            " + ValueText(store, r.signerValue3, false) + "\n";
        text += "      certificate sha1  " + ValueText(store, r.signerValue4, false) + "\n";
        text += Format("      signer flags      0x%08x", r.signerFlags);
        for (const std::string& name : SignerFlagNames(r.signerFlags)) text += " " + name;
        text += Format("\n      time value        %u", r.timeValue);
        if (r.timeValue != 0) text += " (" + IsoFromUnixSeconds(r.timeValue) + ")";
        text += Format("\n      member hashes     %zu\n", hashes[i].size());
    }
    return text;
}

}  // namespace

int RunDump(const Invocation& invocation, CommandOutput& output) {
    const std::wstring& path = invocation.operands[0];
    DatabaseView view;
    if (!OpenDatabaseOperand(path, view, output)) return kExitError;
    output.out = invocation.json ? DumpJson(path, view) : DumpText(path, view);
    return view.loads ? kExitSuccess : kExitNegative;
}

}  // namespace korva::cattool
