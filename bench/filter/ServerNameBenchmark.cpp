// Server names read and matched per second over ClientHellos recorded from real clients, against a
// list of 1,000 domains.
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "velmoria_filter/DomainMatcher.hpp"
#include "velmoria_filter/ServerNameReader.hpp"
#include "velmoria_filter/WebFilterProvider.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::vector<Bytes>& corpus() {
  static const std::vector<Bytes> hellos = [] {
    std::vector<Bytes> loaded;
    for (const char* name : {"hello-openssl-tls13.bin", "hello-openssl-tls12.bin", "hello-curl.bin",
                             "hello-chromium.bin", "hello-chromium-name-after-key-share.bin"}) {
      std::ifstream in(std::string(FILTER_TEST_DATA) + "/" + name, std::ios::binary);
      loaded.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return loaded;
  }();
  return hellos;
}

std::set<std::string> domains(std::size_t count) {
  std::set<std::string> list{"blocked.example", "streaming.example"};
  for (std::size_t i = 0; list.size() < count; ++i) list.insert("site" + std::to_string(i) + ".example.org");
  return list;
}

void ReadAndMatch(benchmark::State& state) {
  const velmoria::filter::Blocklist blocklist(domains(1000));
  const auto& hellos = corpus();
  std::size_t blocked = 0;
  for (auto _ : state) {
    for (const auto& hello : hellos) {
      const auto name = velmoria::filter::extractServerName(hello);
      blocked += name && blocklist.matches(*name);
    }
  }
  benchmark::DoNotOptimize(blocked);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * hellos.size()));
}
BENCHMARK(ReadAndMatch);

// The whole data verdict: the provider takes its current list, reads and matches.
void ProviderVerdict(benchmark::State& state) {
  velmoria::filter::WebFilterProvider provider(std::make_shared<velmoria::filter::NullFilterLog>());
  const auto list = domains(1000);
  provider.startFilter(velmoria::filter::ProviderConfiguration{nlohmann::json{{"mac.blockedDomains", list}}}, {});
  velmoria::filter::FilterFlow flow;
  flow.socketProtocol = velmoria::filter::protocolTcp;
  flow.remoteEndpoint = velmoria::filter::HostEndpoint{"93.184.216.34", "443"};
  const auto& hellos = corpus();
  std::size_t dropped = 0;
  for (auto _ : state) {
    for (const auto& hello : hellos) {
      dropped += provider.handleOutboundData(flow, 0, hello) == velmoria::filter::DataVerdict::drop;
    }
  }
  benchmark::DoNotOptimize(dropped);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * hellos.size()));
}
BENCHMARK(ProviderVerdict)->Threads(1)->Threads(4);

void ReadOnly(benchmark::State& state) {
  const auto& hellos = corpus();
  for (auto _ : state) {
    for (const auto& hello : hellos) benchmark::DoNotOptimize(velmoria::filter::extractServerName(hello));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * hellos.size()));
}
BENCHMARK(ReadOnly);

// Matching entry by entry, normalising each entry on every call, for comparison.
void MatchEntryByEntry(benchmark::State& state) {
  const auto list = domains(static_cast<std::size_t>(state.range(0)));
  const std::vector<std::string> hosts{"www.shop.blocked.example", "cdn.video.example", "news.allowed.example"};
  for (auto _ : state) {
    for (const auto& host : hosts) benchmark::DoNotOptimize(velmoria::filter::matchesBlocklist(host, list));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * hosts.size()));
}
BENCHMARK(MatchEntryByEntry)->Arg(10)->Arg(100)->Arg(1000);

}  // namespace
