#include "toolkit/PathReport.h"

#include "toolkit/StatusReport.h"

namespace korva::toolkit {

Status PathReject(ToolkitContext* context, PathReason reason, Status code) {
    // Passed as text, so a message format may place it with either placeholder form.
    uint32_t number = static_cast<uint32_t>(reason);
    char text[3] = {static_cast<char>('0' + number / 10), static_cast<char>('0' + number % 10), '\0'};
    StatusReport(context, kPathRejected, kSeverityNotice, __FILE__, __LINE__, number < 10 ? text + 1 : text);
    return code;
}

void PathWarn(ToolkitContext* context, const char* text) {
    StatusReport(context, kExtensionNotice, kSeverityWarning, __FILE__, __LINE__, text);
}

}  // namespace korva::toolkit
