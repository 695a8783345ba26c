#pragma once
// The readable JSON source of a parameter data file. The compiler parses a source into a
// ParameterData and stores it with the same Serialize that loads data files; the dump loads a
// file that way and prints the source back. Sources hold no text the loader would trim, so a
// round trip is exact.

#include <string>
#include "base/Result.h"

#include "paramdb/ParameterData.h"

namespace vm::datac {

// Parses a UTF-8 JSON source into data. A failure's text is one line naming the source, and the
// line and column of a syntax error or the key path of a bad value; data is then left empty.
Result<> ParseSource(const std::string& json, const std::string& sourceName, ParameterData& data);

// The source text of loaded (or parsed) parameter data: UTF-8 JSON, one item per line, optional fields left
// out when they hold their default.
std::string WriteSource(const ParameterData& data);

// SOURCE.json -> OUTPUT.dat. The output is replaced only after a complete write.
Result<> CompileFile(const std::string& sourcePath, const std::string& outputPath);

// FILE.dat -> its source text.
Result<std::string> DumpFile(const std::string& dataPath);

}  // namespace vm::datac
