// The scope file (.sco). A file that parses encodes back to the same bytes and parses again to
// the same picture; a file that fails gives an error and no picture.

#include "FuzzCheck.h"

#include "scope/ScopeFile.h"

using namespace vm::scope;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const ScopeFileResult result = ParseScopeFile({bytes, size});
    if (!result.ok()) {
        FUZZ_CHECK(result.picture.x.empty());
        return 0;
    }
    const ScopePicture& p = result.picture;
    FUZZ_CHECK(size == kScopeHeaderSize + kScopeBytesPerPoint * p.x.size());
    for (const auto& y : p.y)
        FUZZ_CHECK(y.size() == p.x.size());
    const std::vector<uint8_t> image = EncodeScopeFile(p);
    FUZZ_CHECK(image.size() == size);
    const ScopeFileResult back = ParseScopeFile(image);
    FUZZ_CHECK(back.ok());
    FUZZ_CHECK(EncodeScopeFile(back.picture) == image);
    return 0;
}
