// varimon-datac: compiles a parameter data source into the binary data file the program loads,
// or dumps a data file back as its source.

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/datac/DataSource.h"

namespace {

int Usage()
{
    std::fputs("usage: varimon-datac SOURCE.json OUTPUT.dat\n"
               "       varimon-datac --dump FILE.dat\n",
               stderr);
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string error;
    if (argc == 3 && std::strcmp(argv[1], "--dump") == 0) {
        std::string json;
        if (!vm::datac::DumpFile(argv[2], &json, &error)) {
            std::fprintf(stderr, "varimon-datac: %s\n", error.c_str());
            return 1;
        }
        std::fwrite(json.data(), 1, json.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc != 3 || argv[1][0] == '-')
        return Usage();
    if (!vm::datac::CompileFile(argv[1], argv[2], &error)) {
        std::fprintf(stderr, "varimon-datac: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
