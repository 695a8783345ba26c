#pragma once
// The readable JSON source of a parameter data file and its binary form. The compiler parses a
// source into a DataFileImage and stores it through ObjectArchive; the dump loads a binary file
// the same way and prints the source back, so a round trip is exact.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "paramdb/ObjectArchive.h"

namespace vm::datac {

inline constexpr const char* kSignature = "KXEC - Varimon Data File Editor";
inline constexpr uint16_t kFormatVersion = 0x0100;

// Every text below holds Windows-1252 bytes, exactly as they are stored in the file.
struct TypeRecord {
    std::string name;
    std::string text1;
    std::string text2;
    std::string unit;
    uint32_t multiplier = 1;
    uint32_t divisor = 1;
    uint8_t flags = 0;
};

struct ChoiceRecord {
    std::string name;
    std::vector<std::string> texts;
};

struct ItemRecord {
    uint16_t address = 0;
    uint32_t modeName = 0;
    uint32_t writable = 1;
    uint32_t runWritable = 0;
    int32_t min = 0;
    int32_t max = 0;
    int32_t dflt = 0;
    std::string name;
    std::string type;
    std::string choice;
    std::array<std::string, 3> extra;
};

struct GroupRecord {
    std::string name;
    std::vector<ItemRecord> items;
};

// The whole content of one data file, field for field, without the loader's trimming.
class DataFileImage : public Serializable {
public:
    std::string signature = kSignature;
    uint16_t formatVersion = kFormatVersion;
    std::string description;
    uint16_t model = 0;
    std::array<uint16_t, 4> reserved{};
    uint32_t version = 0;
    std::vector<TypeRecord> types;
    std::vector<ChoiceRecord> choices;
    std::vector<GroupRecord> groups;

    // Loading reads any file of the layout; it checks nothing, so the dump shows what is there.
    void Serialize(ObjectArchive& ar) override;

    size_t ItemCount() const;
};

// Parses a UTF-8 JSON source. On failure returns false and sets *error to one line naming the
// source, and the line and column of a syntax error or the key path of a bad value.
bool ParseSource(const std::string& json, const std::string& sourceName, DataFileImage* image,
                 std::string* error);

// The source text of an image: UTF-8 JSON, one item per line, optional fields left out when
// they hold their default.
std::string WriteSource(const DataFileImage& image);

// SOURCE.json -> OUTPUT.dat. The output is replaced only after a complete write.
bool CompileFile(const std::string& sourcePath, const std::string& outputPath, std::string* error);

// FILE.dat -> its source text.
bool DumpFile(const std::string& dataPath, std::string* json, std::string* error);

}  // namespace vm::datac
