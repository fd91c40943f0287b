// Name constraints gathered along a path and the names of each certificate
// checked against them (reasons 9-12).
#pragma once

#include <cstdint>

#include "toolkit/Certificate.h"
#include "toolkit/ExtensionValues.h"

namespace korva::toolkit {

class PathNameConstraints {
public:
    PathNameConstraints() = default;
    ~PathNameConstraints();
    PathNameConstraints(const PathNameConstraints&) = delete;
    PathNameConstraints& operator=(const PathNameConstraints&) = delete;

    // Checks the subject, its emailAddress attributes and the
    // subjectAltName names against every constraint taken over so far.
    Status Check(ToolkitContext* context, const CertFields& fields);
    // Keeps a certificate's constraints (borrowed: the certificate outlives
    // the validation). 1792 when memory runs out.
    Status TakeOver(const NameConstraintsValue* constraints);

private:
    const NameConstraintsValue** taken_ = nullptr;
    uint32_t count_ = 0;
};

}  // namespace korva::toolkit
