#include "toolkit/Status.h"

namespace korva::toolkit {

Status StatusTranslate(Status code) {
    switch (code) {
    case kCoreOutOfMemory:
    case kCoreFamilyOutOfMemory:
        return kOutOfMemory;
    case kCoreFailure:
        return kCorePassedThrough;
    case kCoreDataMissing:
        return kDataMissing;
    case kCoreInputMissing:
    case kCoreFamilyInputMissing:
        return kInputMissing;
    case kCoreInputTruncated:
    case kCoreFamilyTruncated:
        return kInputTruncated;
    case kCoreBadValue:
    case kCoreFamilyBadValue:
        return kBadValue;
    case kCoreBadParameter:
        return kBadParameter;
    default:
        break;
    }
    if (code >= kCoreFamilyDataMissingFirst && code <= kCoreFamilyDataMissingLast) return kDataMissing;
    return code;
}

Status StatusKeepFatal(Status code, Status fallback) {
    return code == kOutOfMemory || code == kCorePassedThrough ? code : fallback;
}

Status StatusTranslateKeepFatal(Status code, Status fallback) {
    return StatusKeepFatal(StatusTranslate(code), fallback);
}

}  // namespace korva::toolkit
