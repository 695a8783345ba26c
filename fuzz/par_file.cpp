// The parameter set file (.par) for the drive model 10, version 0x15. A file that loads saves
// and reloads to the same pairs; a file that fails (another drive's file included) is reported
// once and leaves the set as it was: empty.

#include "ArchiveCheck.h"

#include "paramdb/ParaArray.h"

using namespace vm;

namespace {

bool SamePairs(const CParaArray& a, const CParaArray& b)
{
    if (a.Count() != b.Count() || a.Model() != b.Model() || a.Version() != b.Version())
        return false;
    for (size_t i = 0; i < a.Count(); ++i)
        if (a.AddressAt(i) != b.AddressAt(i) || a.ValueAt(i) != b.ValueAt(i))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    CParaArray set(10, 0x15);
    if (!fuzz::LoadImage(set, {bytes, size})) {
        FUZZ_CHECK(set.Count() == 0);
        return 0;
    }
    // Signature, kind name, model, version and count, then eight bytes a pair.
    FUZZ_CHECK(4 + 10 + 4 + 4 + 4 + 8 * set.Count() <= size);
    const std::vector<uint8_t> image = fuzz::SaveImage(set);
    CParaArray back(10, 0x15);
    FUZZ_CHECK(fuzz::LoadImage(back, image));
    FUZZ_CHECK(SamePairs(set, back));
    FUZZ_CHECK(fuzz::SaveImage(back) == image);
    // The same file for another version is refused with its own message.
    CParaArray other(10, 0x16);
    FUZZ_CHECK(!fuzz::LoadImage(other, image) && other.Count() == 0);
    return 0;
}
