#include "tools/cattool/LoadReport.h"

#include <cstdio>

#include "platform/Trace.h"

namespace korva::cattool {

namespace tvt = TarnVerifyTrustDriver;

std::string LoadVerdictText(const DatabaseView& view) {
    if (view.loads) {
        if (view.bytes.empty()) return "loads: the file is empty, so the engine starts the database afresh";
        return "loads";
    }
    const tvt::LoadDiagnostics& d = view.diagnostics;
    tvt::LoadRuleText rule = tvt::DescribeLoadRule(d.rule);
    char where[160];
    if (d.kind == tvt::EntryKind::Header) {
        std::snprintf(where, sizeof where, "header at offset 0");
    } else if (d.kind == tvt::EntryKind::Validation) {
        std::snprintf(where, sizeof where, "validation at the end of the log (offset %llu)",
                      static_cast<unsigned long long>(d.offset));
    } else {
        std::snprintf(where, sizeof where, "%s entry at offset %llu (tag 0x%02x)", tvt::EntryKindName(d.kind),
                      static_cast<unsigned long long>(d.offset), d.tag);
    }
    char event[96];
    std::snprintf(event, sizeof event, "%s event %u, values %llu, %llu", trace::SourceName(d.source), d.trace,
                  static_cast<unsigned long long>(d.values[0]), static_cast<unsigned long long>(d.values[1]));
    return std::string("would be discarded and rebuilt: ") + where + ": " + rule.name + ": " + rule.description + " (" +
           event + ")";
}

void WriteLoadJson(JsonWriter& json, const DatabaseView& view) {
    json.BeginObject().Key("loads").Bool(view.loads);
    if (!view.loads) {
        const tvt::LoadDiagnostics& d = view.diagnostics;
        tvt::LoadRuleText rule = tvt::DescribeLoadRule(d.rule);
        json.Key("rule").String(rule.name).Key("description").String(rule.description);
        json.Key("kind").String(tvt::EntryKindName(d.kind)).Key("offset").Number(d.offset).Key("tag").Number(d.tag);
        json.Key("event").BeginObject().Key("source").String(trace::SourceName(d.source)).Key("number").Number(d.trace).EndObject();
        json.Key("values").BeginArray().Number(d.values[0]).Number(d.values[1]).EndArray();
    }
    json.EndObject();
}

}  // namespace korva::cattool
