// Telnet from a serial device server: the bytes go through the negotiation parser at once and
// again in chunks of the size the first byte gives, and both must agree. Every answer is a
// well-formed three-byte option reply, given at most once, and data the parser returns is never
// more than it was fed. Line data escaped by the same codec comes back unchanged.
// The rest of the input also goes through the port-name parser.

#include "FuzzCheck.h"

#include "comm/NetAddress.h"
#include "comm/Rfc2217Codec.h"

#include <set>
#include <string_view>
#include <vector>

using namespace vm;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    if (size == 0)
        return 0;
    const size_t chunk = bytes[0] % 7 + 1;
    const std::span<const uint8_t> in(bytes + 1, size - 1);

    Rfc2217Codec whole;
    std::vector<uint8_t> data, replies;
    whole.Feed(in, data, replies);
    FUZZ_CHECK(data.size() <= in.size());
    FUZZ_CHECK(replies.size() % 3 == 0);
    std::set<std::pair<uint8_t, uint8_t>> said;
    for (size_t i = 0; i < replies.size(); i += 3) {
        FUZZ_CHECK(replies[i] == telnet::kIac);
        FUZZ_CHECK(replies[i + 1] >= telnet::kWill && replies[i + 1] <= telnet::kDont);
        FUZZ_CHECK(said.insert({replies[i + 1], replies[i + 2]}).second);
    }

    Rfc2217Codec pieces;
    std::vector<uint8_t> data2, replies2;
    for (size_t at = 0; at < in.size(); at += chunk)
        pieces.Feed(in.subspan(at, std::min(chunk, in.size() - at)), data2, replies2);
    FUZZ_CHECK(fuzz::SameBytes(data, data2));
    FUZZ_CHECK(fuzz::SameBytes(replies, replies2));
    FUZZ_CHECK(whole.Error() == pieces.Error());

    std::vector<uint8_t> escaped, back, none;
    Rfc2217Codec::AppendEscaped(in, escaped);
    Rfc2217Codec clean;
    clean.Feed(escaped, back, none);
    FUZZ_CHECK(fuzz::SameBytes(back, in));
    FUZZ_CHECK(none.empty() && clean.Error().empty());

    const std::string_view name(reinterpret_cast<const char*>(in.data()), in.size());
    if (const Result<NetAddress> address = ParseNetAddress(name)) {
        FUZZ_CHECK(address.Value().port >= 1 && address.Value().port <= 65535);
        FUZZ_CHECK(!address.Value().host.empty());
        FUZZ_CHECK(IsNetworkPortName(name));
    } else {
        FUZZ_CHECK(!address.Text().empty());
    }
    return 0;
}
