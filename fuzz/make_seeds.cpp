// Writes the generated seed corpora with the project's own builders and writers: requests and
// replies of both protocols, a session on the simulated line, and saved .par and .usr files.
// The data file corpus is the compiled data files themselves.
// Usage: fuzz_seeds <corpus folder>   (normally fuzz/corpus)

#include "comm/Kx485.h"
#include "comm/ModbusRtu.h"
#include "paramdb/ObjectArchive.h"
#include "paramdb/ParaArray.h"
#include "paramdb/UserGroup.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace vm;
using Bytes = std::vector<uint8_t>;

namespace {

std::filesystem::path g_root;

Bytes Of(const std::string& text)
{
    return {text.begin(), text.end()};
}

Bytes Of(std::span<const uint8_t> bytes)
{
    return {bytes.begin(), bytes.end()};
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

void Write(const std::string& target, const std::string& name, const Bytes& bytes)
{
    const auto folder = g_root / target;
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / ("seed-" + name), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Saved(Serializable& object)
{
    ArchiveFile file;
    file.Attach("seed", &object);
    MemorySink sink;
    file.SaveTo(sink, false);
    return sink.Bytes();
}

// A sim_line chunk: length and gap flag, then the bytes.
Bytes Chunk(const Bytes& bytes, bool afterSilence = false)
{
    Bytes out;
    for (size_t at = 0; at < bytes.size(); at += 0x3F) {
        const size_t n = std::min<size_t>(0x3F, bytes.size() - at);
        out.push_back(static_cast<uint8_t>(n | (afterSilence && at == 0 ? 0x80 : 0)));
        out.insert(out.end(), bytes.begin() + static_cast<long>(at),
                   bytes.begin() + static_cast<long>(at + n));
    }
    return out;
}

Bytes Command(const std::string& text)
{
    Bytes out{0xFF, static_cast<uint8_t>(text.size())};
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 2;
    }
    g_root = argv[1];
    using namespace kx485;
    const uint16_t three[] = {0x0000, 0x000E, 0x000F};
    const uint16_t words[] = {0x0004, 0x8000, 0xFFFF};

    // KX485 master: command, station, address count, then what the line brings.
    Write("kx485_reply", "read", Join({{0, 1, 0}, Of(BuildAck(1, 'R', std::span(words, 1)))}));
    Write("kx485_reply", "write", Join({{1, 0x1F, 0}, Of(BuildAck(0x1F, 'W', std::span(words + 1, 1)))}));
    Write("kx485_reply", "register", Join({{2, 5, 2}, Of(BuildAck(5, 'X'))}));
    Write("kx485_reply", "execute", Join({{3, 5, 2}, Of(BuildAck(5, 'Y', words))}));
    Write("kx485_reply", "refused", Join({{0, 1, 0}, Of(BuildNak(1, 'R', "IA"))}));
    Write("kx485_reply", "echo-then-reply",
          Join({{1, 2, 0},
                Of(Frame(BuildWrite(2, 0x0200, 0x1234))),
                Of(BuildAck(2, 'W', std::span(words, 1)))}));

    // KX485 slave: requests as the master builds them, with noise between.
    Write("kx485_request", "read", Of(Frame(BuildRead(1, 0x000E))));
    Write("kx485_request", "write", Of(Frame(BuildWrite(0xFF, 0xA110, 0x0064))));
    Write("kx485_request", "register", Of(Frame(BuildRegister(5, three))));
    Write("kx485_request", "execute", Of(Frame(BuildExecute(5))));
    Write("kx485_request", "noise-between",
          Join({Of(Frame(BuildRead(1, 0))), {0x00, 0x55, 0xFF, kEnq, '0'}, Of(Frame(BuildExecute(1)))}));

    // Modbus master: kind, station, address, value, then what the line brings.
    Write("modbus_reply", "read", Join({{0, 1, 0x00, 0x0F, 0, 0}, modbus::BuildReadReply(1, 0x1234)}));
    Write("modbus_reply", "write",
          Join({{1, 7, 0xA1, 0x10, 0x00, 0x64}, modbus::BuildWriteReply(7, 0xA10F, 0x0064)}));
    Write("modbus_reply", "exception", Join({{0, 1, 0x12, 0x34, 0, 0}, modbus::BuildException(1, 4, 2)}));
    Write("modbus_reply", "two-replies",
          Join({{2, 3, 0, 1, 0, 0}, modbus::BuildReadReply(3, 1), modbus::BuildReadReply(3, 2)}));

    // Modbus slave: requests as the master builds them.
    Write("modbus_request", "read", Of(modbus::BuildRead(1, 0x000F)));
    Write("modbus_request", "write", Of(modbus::BuildWrite(7, 0xA110, 0x0064)));
    Write("modbus_request", "noise-then-read", Join({{0x55, 0x00}, Of(modbus::BuildRead(5, 1))}));

    // The simulated line: protocol, faults, then chunks and console commands.
    Write("sim_line", "kx485-session",
          Join({{0, 0},
                Chunk(Of(Frame(BuildRead(1, 0)))),
                Chunk(Of(Frame(BuildWrite(1, 0xA110, 99)))),
                Chunk(Of(Frame(BuildRegister(5, three)))),
                Chunk(Of(Frame(BuildExecute(5)))),
                Command("trip 1 3"),
                Chunk(Of(Frame(BuildRead(1, 15))), true),
                Command("set 7 0x0005 3000"),
                Command("reset 1")}));
    Write("sim_line", "modbus-session",
          Join({{1, 0},
                Chunk(Of(modbus::BuildRead(1, 1))),
                Chunk(Of(modbus::BuildWrite(7, 0xA201, 5))),
                Chunk(Of(modbus::BuildWrite(0, 6, 2))),
                Command("load 5 150"),
                Chunk(Of(modbus::BuildRead(5, 10)), true),
                Command("silence 5"),
                Chunk(Of(modbus::BuildRead(5, 10)))}));
    Write("sim_line", "both-with-echo",
          Join({{2, 0x05},
                Chunk(Of(Frame(BuildRead(7, 3)))),
                Chunk(Of(modbus::BuildRead(7, 4))),
                Command("revive 5"),
                Command("set 1 6 2")}));

    CParaArray set(10, 0x15);
    Write("par_file", "empty", Saved(set));
    for (uint32_t i = 0; i < 6; ++i)
        set.Append(0xA100 + i, i * 100);
    Write("par_file", "six", Saved(set));
    CParaArray other(9, 0x0203);
    Write("par_file", "other-model", Saved(other));

    CCustom group(nullptr, 10, 0x15);
    Write("usr_file", "empty", Saved(group));
    for (uint32_t i = 0; i < 5; ++i)
        group.AddEntry(0xA110 + i, i);
    Write("usr_file", "five", Saved(group));
    return 0;
}
