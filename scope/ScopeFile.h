#pragma once
// The scope file (.sco): a whole picture, channel setup and every plotted point, as a plain
// little-endian stream of 152 + 40 x n bytes. Parsing works on bytes only and returns either a
// complete, checked picture or a failure, never half of one; saving replaces the file atomically.

#include "base/Result.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vm::scope {

inline constexpr int32_t kScopeMagic = 39153;
inline constexpr size_t kScopeHeaderSize = 152;
inline constexpr size_t kScopeBytesPerPoint = 40;

struct ScopeFileChannel {
    int32_t on = 0;
    int32_t station = 0;
    int32_t model = 255;
    int32_t version = 0;
    uint16_t address = 0xFFFF;
    int32_t addressIndex = 0;
    int32_t offsetIndex = 8;
    int32_t divisionIndex = 5;
};

struct ScopePicture {
    int32_t elapsed = 0;
    int32_t spanIndex = 5;
    double yMax = 100.0;
    double yMin = 0.0;
    std::array<ScopeFileChannel, 4> channels;
    std::vector<double> x;                 // days
    std::array<std::vector<double>, 4> y;  // plotted values, x.size() each; NaN = missing
};

// The codes of a scope file's failures.
enum ScopeFileError : int {
    kScopeFileShort = 1,  // ends before the header or the points it announces; or cannot be opened
    kScopeFileBadFormat,  // wrong magic, a count or index outside its table, an infinite number or a
                          // NaN X, extra bytes
};

// An off channel, or one whose model has no parameter data, is stored as model 255, version 0.
void NormaliseModels(ScopePicture& picture);

// A failure's text names the field, for logs and tests.
Result<ScopePicture> ParseScopeFile(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeScopeFile(const ScopePicture& picture);

// Reads and parses a file; a failure's text is the user's.
Result<ScopePicture> LoadScopeFile(const QString& path);
// Writes through a temporary file renamed over the target; a failure's code is the file's error,
// its text the user's.
Result<void> SaveScopeFile(const QString& path, const ScopePicture& picture);

// What a save dialog starts with: the current file's name with `suffix` (".sco", ".png") in
// `folder`, or in the current file's own folder when `folder` is empty; just the folder when
// there is no current file.
QString ProposedFileName(const QString& folder, const QString& current, const QString& suffix);

}  // namespace vm::scope
