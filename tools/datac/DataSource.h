#pragma once
// The readable JSON source of a parameter data file. The compiler parses a source into a
// ParameterData and stores it with the same Serialize that loads data files; the dump loads a
// file that way and prints the source back. Sources hold no text the loader would trim, so a
// round trip is exact.

#include <string>

#include "paramdb/ParameterData.h"

namespace vm::datac {

// Parses a UTF-8 JSON source. On failure returns false and sets *error to one line naming the
// source, and the line and column of a syntax error or the key path of a bad value.
bool ParseSource(const std::string& json, const std::string& sourceName, ParameterData* data,
                 std::string* error);

// The source text of loaded (or parsed) parameter data: UTF-8 JSON, one item per line, optional fields left
// out when they hold their default.
std::string WriteSource(const ParameterData& data);

// SOURCE.json -> OUTPUT.dat. The output is replaced only after a complete write.
bool CompileFile(const std::string& sourcePath, const std::string& outputPath, std::string* error);

// FILE.dat -> its source text.
bool DumpFile(const std::string& dataPath, std::string* json, std::string* error);

}  // namespace vm::datac
