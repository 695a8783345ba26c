// varimon-datac: compiles a parameter data source into the binary data file the program loads,
// or dumps a data file back as its source.

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/datac/DataSource.h"

namespace {

constexpr const char* kSynopsis =
    "varimon-datac SOURCE.json OUTPUT.dat\n"
    "       varimon-datac --dump FILE.dat\n";

int Usage()
{
    std::fprintf(stderr, "usage: %s", kSynopsis);
    return 2;
}

int Help()
{
    std::printf("Usage: %s", kSynopsis);
    std::fputs(
        "Compiles a parameter data source (JSON) into the binary data file the program\n"
        "loads, or prints a data file back as its source.\n"
        "\n"
        "Options:\n"
        "  --dump FILE.dat  print FILE.dat as JSON source on standard output\n"
        "  -h, --help       show this help and exit\n"
        "  -v, --version    show the version and exit\n",
        stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
        return Help();
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-v") == 0)) {
        std::printf("varimon-datac %s\n", VARIMON_VERSION);
        return 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--dump") == 0) {
        const vm::Result<std::string> json = vm::datac::DumpFile(argv[2]);
        if (!json) {
            std::fprintf(stderr, "varimon-datac: %s\n", json.Text().c_str());
            return 1;
        }
        std::fwrite(json.Value().data(), 1, json.Value().size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc != 3 || argv[1][0] == '-')
        return Usage();
    if (const vm::Result<> compiled = vm::datac::CompileFile(argv[1], argv[2]); !compiled) {
        std::fprintf(stderr, "varimon-datac: %s\n", compiled.Text().c_str());
        return 1;
    }
    return 0;
}
