// One to eight certificates from the fuzzer's bytes go into an in-memory
// database, and a path is built from the first: the request must end with a
// status, never crash or hang, whatever the certificates claim.
//
// Input: a control byte (bits 0-2: certificate count - 1; bits 3-4: request
// kind; bits 5-6: flag set; bit 7: the last certificate is trusted too),
// then per certificate a big-endian 16-bit length and that many bytes.
// Self-issued certificates are trusted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/ByteReader.h"
#include "toolkit/CertificateLists.h"
#include "toolkit/Context.h"
#include "toolkit/DatabaseRequests.h"
#include "toolkit/Dispatch.h"
#include "toolkit/Imdb.h"
#include "toolkit/PathParams.h"
#include "toolkit/PathProvider.h"

using namespace korva::toolkit;

namespace {

constexpr uint32_t kFlagSets[] = {0, 7, 6, 0x80000204};

struct World {
    ToolkitContext* context = nullptr;
    ServiceBinding* database = nullptr;
    ObjectList* trusted = nullptr;
    ObjectList* path = nullptr;
    CertObject* certs[8] = {};
    uint32_t count = 0;

    ~World() {
        ObjectListFree(&path);
        ObjectListFree(&trusted);
        for (CertObject*& cert : certs) CertFree(&cert);
        ServiceUnbind(&database);
        ContextFree(&context);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    korva::platform::ByteReader reader(data, size);
    uint8_t control = 0;
    if (!reader.ReadU8(control)) return 0;
    World world;
    const ProviderRecord records[] = {{4, "In-memory Database", ImdbInit},
                                      {6, "Cert Path Processing Provider", PathInit}};
    if (ContextCreate(records, nullptr, 2, &world.context) != kOk ||
        ServiceBindOne(world.context, 4, "In-memory Database", &world.database) != kOk ||
        ObjectListCreate(&world.trusted) != kOk || ObjectListCreate(&world.path) != kOk) {
        return 0;
    }
    uint32_t wanted = (control & 7u) + 1;
    for (uint32_t i = 0; i < wanted; ++i) {
        uint16_t length = 0;
        korva::platform::ByteSpan bytes;
        if (!reader.ReadU16Be(length) || !reader.ReadBytes(length, bytes)) break;
        CertObject* cert = nullptr;
        if (CertCreate(&cert, world.context) != kOk) break;
        if (CertSetEncoding(cert, bytes.data(), uint32_t(bytes.size())) != kOk) {
            CertFree(&cert);
            continue;
        }
        world.certs[world.count++] = cert;
        DbInsertCert(world.database, cert);
        bool last = i + 1 == wanted && (control & 0x80) != 0;
        if (last || NameCompare(cert->fields.subject, cert->fields.issuer) == 0) {
            CertListAppendReference(world.trusted, cert, nullptr);
        }
    }
    if (world.count == 0) return 0;
    PathParams params{1 + ((control >> 3) & 3u) % 3, kFlagSets[(control >> 5) & 3u], world.trusted, nullptr,
                      0x60000000, world.database};
    Status status = PathBuildRequest(world.context, &params, world.certs[0], world.path, nullptr, nullptr, nullptr);
    uint32_t length = 0;
    ObjectListCount(world.path, &length);
    // A path exists only on success, and never longer than the certificates given.
    if ((status == kOk) != (length != 0) || length > world.count) std::abort();
    return 0;
}
