// Status reporting: a failure is formatted with the message format the first
// class-1 provider gives for (code, severity) and delivered to every class-1
// provider. Only an error (severity 2) makes the function return the code.
//
// Format language: %d inserts argument d (0-9) as text, %sd likewise, %nd
// argument d as a number printed in decimal; %f the source file, %l the
// line; a percent sign before any other character inserts that character,
// and a percent sign at the very end ends the message. The arguments follow
// `line`, in order, up to the highest d used: numbers as 32-bit unsigned
// values, texts as char pointers (a null text inserts nothing). An argument
// index that no placeholder names is read as a text.
#pragma once

#include <cstdint>

#include "toolkit/Status.h"

namespace korva::toolkit {

struct ToolkitContext;

Status StatusReport(ToolkitContext* context, Status code, uint32_t severity, const char* sourceFile, uint32_t line,
                    ...);

}  // namespace korva::toolkit
