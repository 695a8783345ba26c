// The scope file (.sco). A file that parses encodes back to the same bytes and parses again to
// the same picture; a file that fails gives a failure with one of its codes and no picture.

#include "FuzzCheck.h"

#include "scope/ScopeFile.h"

using namespace vm::scope;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const vm::Result<ScopePicture> result = ParseScopeFile({bytes, size});
    if (!result) {
        FUZZ_CHECK(result.Code() == kScopeFileShort || result.Code() == kScopeFileBadFormat);
        return 0;
    }
    const ScopePicture& p = result.Value();
    FUZZ_CHECK(size == kScopeHeaderSize + kScopeBytesPerPoint * p.x.size());
    for (const auto& y : p.y)
        FUZZ_CHECK(y.size() == p.x.size());
    const std::vector<uint8_t> image = EncodeScopeFile(p);
    FUZZ_CHECK(image.size() == size);
    const vm::Result<ScopePicture> back = ParseScopeFile(image);
    FUZZ_CHECK(back.Ok());
    FUZZ_CHECK(EncodeScopeFile(back.Value()) == image);
    return 0;
}
