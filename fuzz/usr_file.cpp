// The user group file (.usr). A file that loads saves and reloads to the same model, version
// and entries; a file that fails is reported once and leaves the group as it was: empty, with
// no model or version of the file's.

#include "ArchiveCheck.h"

#include "paramdb/UserGroup.h"

using namespace vm;

namespace {

bool SameGroup(const CCustom& a, const CCustom& b)
{
    if (a.Count() != b.Count() || a.Model() != b.Model() || a.Version() != b.Version())
        return false;
    for (size_t i = 0; i < a.Count(); ++i)
        if (a.EntryAt(i)->address != b.EntryAt(i)->address || a.EntryAt(i)->value != b.EntryAt(i)->value)
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    CCustom group;
    if (!fuzz::LoadImage(group, {bytes, size})) {
        FUZZ_CHECK(group.Count() == 0);
        FUZZ_CHECK(group.Model() == 0 && group.Version() == 0);
        return 0;
    }
    // Signature, model, version and a count of two bytes at the least, then eight bytes an entry.
    FUZZ_CHECK(4 + 4 + 4 + 2 + 8 * group.Count() <= size);
    for (size_t i = 0; i < group.Count(); ++i)
        FUZZ_CHECK(group.EntryAt(i)->owner == &group && group.EntryAt(i)->Item() == nullptr);
    const std::vector<uint8_t> image = fuzz::SaveImage(group);
    CCustom back;
    FUZZ_CHECK(fuzz::LoadImage(back, image));
    FUZZ_CHECK(SameGroup(group, back));
    FUZZ_CHECK(fuzz::SaveImage(back) == image);
    return 0;
}
