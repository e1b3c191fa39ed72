// Collecting the header lines of one response: the cost per line must not grow with the number of
// names already seen (a hostile server may send tens of thousands).
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "helpers/detail/ResponseHeaderCollector.hpp"

namespace {

using zirudeze::helpers::detail::ResponseHeaderCollector;

std::vector<std::string> distinctLines(std::int64_t count) {
  std::vector<std::string> lines;
  lines.reserve(static_cast<std::size_t>(count) + 2);
  lines.emplace_back("HTTP/1.1 200 OK\r\n");
  for (std::int64_t i = 0; i < count; ++i) lines.push_back("X-Header-" + std::to_string(i) + ": value\r\n");
  lines.emplace_back("\r\n");
  return lines;
}

void BM_CollectDistinctHeaderNames(benchmark::State& state) {
  const auto lines = distinctLines(state.range(0));
  for (auto _ : state) {
    ResponseHeaderCollector headers;
    for (const auto& line : lines) headers.addLine(line);
    benchmark::DoNotOptimize(headers.fields().data());
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CollectDistinctHeaderNames)
    ->RangeMultiplier(4)
    ->Range(64, 65536)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
