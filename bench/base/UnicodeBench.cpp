#include <benchmark/benchmark.h>

#include "base/Unicode.hpp"

namespace {

void CanonicalCompareASCII(benchmark::State& state) {
  const std::string a = "abcdefgh.example.com";
  const std::string b = "abcdefgh.example.org";
  for (auto _ : state) benchmark::DoNotOptimize(velmoria::base::canonicalCompare(a, b));
}
BENCHMARK(CanonicalCompareASCII);

void CanonicallyEqualDecomposed(benchmark::State& state) {
  const std::string a =
      "b\xC3\xBC"
      "cher.example";
  const std::string b =
      "bu\xCC\x88"
      "cher.example";
  for (auto _ : state) benchmark::DoNotOptimize(velmoria::base::canonicallyEqual(a, b));
}
BENCHMARK(CanonicallyEqualDecomposed);

void GraphemeLetterTest(benchmark::State& state) {
  const std::string domain =
      "b\xC3\xBC"
      "cher-\xE4\xB8\xAD"
      "1.example";
  for (auto _ : state) {
    bool ok = true;
    for (const auto c : velmoria::base::graphemeClusters(domain))
      ok = ok && (velmoria::base::isLetter(c) || velmoria::base::isNumber(c) || c == "." || c == "-");
    benchmark::DoNotOptimize(ok);
  }
}
BENCHMARK(GraphemeLetterTest);

}  // namespace
