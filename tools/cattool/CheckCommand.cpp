// check CATDB: the engine's own load, and the rule it stopped at.
#include "platform/TextConversion.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/LoadReport.h"

namespace korva::cattool {

int RunCheck(const Invocation& invocation, CommandOutput& output) {
    const std::wstring& path = invocation.operands[0];
    DatabaseView view;
    if (!OpenDatabaseOperand(path, view, output)) return kExitError;
    if (invocation.json) {
        JsonWriter json;
        json.BeginObject().Key("schema").Number(1).Key("command").String("check");
        json.Key("file").String(platform::WideToUtf8(path)).Key("load");
        WriteLoadJson(json, view);
        output.out = json.EndObject().Finish();
    } else {
        output.out = platform::WideToUtf8(path) + ": " + LoadVerdictText(view) + "\n";
    }
    return view.loads ? kExitSuccess : kExitNegative;
}

}  // namespace korva::cattool
