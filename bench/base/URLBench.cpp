#include <benchmark/benchmark.h>

#include "base/PercentEncoding.hpp"
#include "base/URL.hpp"
#include "base/URLComponents.hpp"

namespace {

void URLParse(benchmark::State& state) {
  const std::string text = "https://abcdefgh.example.co/rest/v1/sessions?select=%2A&user_id=eq.6BA7B810#f";
  for (auto _ : state) benchmark::DoNotOptimize(velmoria::base::URL::parse(text));
}
BENCHMARK(URLParse);

// What a request does on its way out: parse, append escaped items, rebuild.
void URLParseAndAppendQueryItems(benchmark::State& state) {
  const std::string text = "https://abcdefgh.example.co/rest/v1/sessions?a=1";
  const auto escaping = velmoria::base::CharacterSet::urlQueryAllowed().subtracting(":#[]@!$&'()*+,;=");
  const std::vector<velmoria::base::URLQueryItem> items{{"select", "*"},
                                                        {"user_id", "eq.6BA7B810-9DAD-11D1-80B4-00C04FD430C8"},
                                                        {"ended_at", "is.NULL"},
                                                        {"order", "started_at.desc.nullslast"},
                                                        {"limit", "1"}};
  for (auto _ : state) {
    auto components = *velmoria::base::URLComponents::parse(text);
    auto query = components.percentEncodedQueryItems().value_or(std::vector<velmoria::base::URLQueryItem>{});
    for (const auto& item : items) {
      query.push_back({*velmoria::base::addingPercentEncoding(item.name, escaping),
                       item.value ? velmoria::base::addingPercentEncoding(*item.value, escaping) : std::nullopt});
    }
    components.setPercentEncodedQueryItems(query);
    benchmark::DoNotOptimize(components.url());
  }
}
BENCHMARK(URLParseAndAppendQueryItems);

}  // namespace
