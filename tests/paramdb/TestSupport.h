#pragma once
// Helpers shared by the parameter database tests: a scratch folder, whole-file reads and
// writes, and a serialisable object made of a function.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "paramdb/ObjectArchive.h"

namespace vm::test {

class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("vm_paramdb_" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename().string());
        return names;
    }

private:
    std::filesystem::path path_;
};

inline std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct FnObject : Serializable {
    std::function<void(ObjectArchive&)> fn;
    explicit FnObject(std::function<void(ObjectArchive&)> f) : fn(std::move(f)) {}
    void Serialize(ObjectArchive& ar) override { fn(ar); }
};

inline std::vector<std::string> Texts(const MessageLog& messages)
{
    std::vector<std::string> texts;
    for (const auto& e : messages.Entries())
        texts.push_back(e.text);
    return texts;
}

// Stores through the object into memory.
inline std::vector<uint8_t> Store(const std::function<void(ObjectArchive&)>& fn)
{
    MemorySink sink;
    ObjectArchive ar(sink);
    fn(ar);
    ar.Flush();
    return sink.Bytes();
}

// Accepts n bytes, then reports a full disk.
class FullDiskSink final : public ByteSink {
public:
    FullDiskSink(ByteSink& next, size_t room) : next_(next), room_(room) {}
    void Write(const void* src, size_t n) override
    {
        const size_t take = std::min(n, room_);
        next_.Write(src, take);
        room_ -= take;
        if (take < n)
            throw FileException(FileCause::DiskFull, 28);
    }

private:
    ByteSink& next_;
    size_t room_;
};

}  // namespace vm::test
