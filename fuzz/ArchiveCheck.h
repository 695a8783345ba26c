#pragma once
// Saving and reloading through ArchiveFile in memory, for the file loaders' harnesses.

#include "FuzzCheck.h"

#include "paramdb/ObjectArchive.h"

#include <vector>

namespace vm::fuzz {

// The object's file image as its own writer saves it.
inline std::vector<uint8_t> SaveImage(Serializable& object)
{
    MessageLog messages;
    ArchiveFile file(&messages);
    file.Attach("saved", &object);
    MemorySink sink;
    FUZZ_CHECK(file.SaveTo(sink, true));
    FUZZ_CHECK(messages.Entries().empty());
    return sink.Bytes();
}

// Loads bytes into object with reporting on. A success is silent; a failure is reported
// exactly once, with a text.
inline bool LoadImage(Serializable& object, std::span<const uint8_t> bytes)
{
    MessageLog messages;
    ArchiveFile file(&messages);
    file.Attach("fuzzed", &object);
    MemorySource source(bytes);
    const bool loaded = file.LoadFrom(source, true);
    if (loaded) {
        FUZZ_CHECK(file.Failure() == ArchiveFailure::None);
        FUZZ_CHECK(messages.Entries().empty());
    } else {
        FUZZ_CHECK(file.Failure() != ArchiveFailure::None);
        FUZZ_CHECK(messages.Entries().size() == 1);
        FUZZ_CHECK(!messages.Entries()[0].text.empty());
        FUZZ_CHECK(messages.Entries()[0].text == file.FailureText());
    }
    return loaded;
}

}  // namespace vm::fuzz
