// The codec's cost per message: encoding a typical GetRequest into a reused
// buffer, and decoding a typical GetResponse and a v1 trap (the walk and the
// trap burst go through these paths once per row or trap).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ber/ber_codec.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// A GET of sysContact.0, sysName.0 and sysLocation.0, and the agent's answer.
const std::vector<uint8_t> kRequest = FromHex(
    "304502010004067075626c6963a03802046feadba8020100020100302a300c06082b06010201010400050030"
    "0c06082b060102010105000500300c06082b060102010106000500");
const std::vector<uint8_t> kResponse = FromHex(
    "305002010004067075626c6963a24302046feadba80201000201003035300d06082b06010201010400040178"
    "301206082b060102010105000406686f73742d61301006082b06010201010600040448617264");
// An enterprise-specific v1 trap with two bindings.
const std::vector<uint8_t> kTrap = FromHex(
    "304f02010004067075626c6963a44206092b06010401bf08020340040a010203020106020111430230393025"
    "301206082b060102010105000406686f73742d61300f060a2b060102010202010103020103");

void EncodeGetRequest(benchmark::State& state)
{
    SnmpMessage request;
    if (!DecodeMessage(kRequest.data(), kRequest.size(), request)) {
        state.SkipWithError("the request does not decode");
        return;
    }
    std::vector<uint8_t> out;
    for (auto _ : state) {
        ++request.pdu.requestId;
        bool ok = EncodeMessage(request, out);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(out.data());
    }
    FreeMessage(request);
}

void Decode(benchmark::State& state, const std::vector<uint8_t>& bytes)
{
    for (auto _ : state) {
        SnmpMessage message;
        bool ok = DecodeMessage(bytes.data(), bytes.size(), message);
        benchmark::DoNotOptimize(ok);
        FreeMessage(message);
    }
}

void DecodeGetResponse(benchmark::State& state)
{
    Decode(state, kResponse);
}

void DecodeTrap(benchmark::State& state)
{
    Decode(state, kTrap);
}

}  // namespace

BENCHMARK(EncodeGetRequest);
BENCHMARK(DecodeGetResponse);
BENCHMARK(DecodeTrap);
BENCHMARK_MAIN();
