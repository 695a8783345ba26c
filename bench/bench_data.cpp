// The data-file compiler's speed over the shipped sources: parsing and storing each source, and
// dumping each compiled file back to its source, in items per second.
// Usage: bench_data [source folder]

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/datac/DataSource.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Source {
    std::string name;
    std::string json;
    std::vector<uint8_t> bytes;  // the compiled file
    int items = 0;
};

// Runs body over every source until a second has passed; returns items per second.
template <typename Body>
double ItemsPerSecond(std::vector<Source>& sources, Body body)
{
    long items = 0;
    const auto start = Clock::now();
    double elapsed = 0;
    while (elapsed < 1.0) {
        for (Source& s : sources) {
            body(s);
            items += s.items;
        }
        elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    }
    return items / elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const std::string folder = argc > 1 ? argv[1] : VARIMON_SOURCE_DIR "/data";
    std::vector<Source> sources;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->path().extension() != ".json")
            continue;
        std::ifstream in(it->path(), std::ios::binary);
        Source s;
        s.name = it->path().filename().string();
        s.json.assign(std::istreambuf_iterator<char>(in), {});
        vm::ParameterData data;
        if (const vm::Result<> parsed = vm::datac::ParseSource(s.json, s.name, data); !parsed) {
            std::fprintf(stderr, "%s\n", parsed.Text().c_str());
            return 1;
        }
        vm::MemorySink sink;
        vm::ObjectArchive ar(sink);
        data.Serialize(ar);
        ar.Flush();
        s.bytes = sink.Bytes();
        s.items = data.TotalItemCount();
        sources.push_back(std::move(s));
    }
    if (sources.empty()) {
        std::fprintf(stderr, "no .json source below %s\n", folder.c_str());
        return 1;
    }

    size_t check = 0;  // keeps the work from being optimised away
    const double compile = ItemsPerSecond(sources, [&](Source& s) {
        vm::ParameterData data;
        check += vm::datac::ParseSource(s.json, s.name, data).Ok() ? 0 : 1;
        vm::MemorySink sink;
        vm::ObjectArchive ar(sink);
        data.Serialize(ar);
        ar.Flush();
        check += sink.Bytes().size();
    });
    const double dump = ItemsPerSecond(sources, [&](Source& s) {
        vm::MemorySource source(s.bytes);
        vm::ObjectArchive ar(source);
        vm::ParameterData data;
        data.Serialize(ar);
        check += vm::datac::WriteSource(data).size();
    });
    std::printf("%zu sources: compile %.0f items/s, dump %.0f items/s (%zu)\n", sources.size(), compile, dump,
                check % 10);
    return 0;
}
