#pragma once
// Text in the program's files is Windows-1252; the model keeps those bytes as they are and only
// the edges (UI, compiler sources) convert. Unmappable characters become '?'.

#include <string>
#include <string_view>

namespace vm {

std::string Cp1252ToUtf8(std::string_view text);
// Invalid UTF-8 sequences and characters outside Windows-1252 become '?'.
std::string Utf8ToCp1252(std::string_view text);
// Surrogate pairs and unpaired surrogates become one '?' each.
std::string Utf16ToCp1252(std::u16string_view text);

}  // namespace vm
