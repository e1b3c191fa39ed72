// A 10 KB page of session rows, the shape the app's refresh reads, decoded into AnyJSON and into
// typed records, next to nlohmann's own parse of the same bytes.
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "helpers/AnyJSON.hpp"
#include "helpers/ISO8601Date.hpp"

namespace {

using zirudeze::helpers::AnyJSON;
using zirudeze::helpers::JSONDecoder;
using zirudeze::helpers::JSONEncoder;
using zirudeze::helpers::JSONObject;

struct SessionRow {
  std::string id;
  std::string userID;
  std::string date;
  velmoria::base::Date startedAt;
  std::optional<velmoria::base::Date> endedAt;
  std::optional<int> durationSeconds;
  std::string source;
  std::optional<std::string> modeID;
  JSONObject metadata;

  static SessionRow decode(const velmoria::base::Decoder& decoder) {
    const auto c = decoder.container();
    return {c.decode<std::string>("id"),
            c.decode<std::string>("user_id"),
            c.decode<std::string>("date"),
            c.decode<velmoria::base::Date>("started_at"),
            c.decodeIfPresent<velmoria::base::Date>("ended_at"),
            c.decodeIfPresent<int>("duration_seconds"),
            c.decode<std::string>("source"),
            c.decodeIfPresent<std::string>("mode_id"),
            c.decode<JSONObject>("metadata")};
  }
};

const std::string& document() {
  static const std::string text = [] {
    std::string out = "[";
    for (int i = 0; out.size() < 10 * 1024; ++i) {
      if (i > 0) out += ",";
      const std::string n = std::to_string(1000 + i);
      out +=
          R"({"id":"6F9619FF-8B86-D011-B42D-00CF4FC9)" + n + R"(","user_id":"0F8FAD5B-D9CB-469F-A165-70867728950E",)";
      out += R"("date":"2026-12-09","started_at":"2026-12-09T10:15:09.250123+00:00",)";
      out += i % 3 == 0 ? R"("ended_at":null,)" : R"("ended_at":"2026-12-09T10:40:09.000000+00:00",)";
      out += R"("duration_seconds":)" + std::to_string(1500 + i) + R"(,"source":"phone",)";
      out += R"("mode_id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","metadata":{"focus":0.75,"tags":["deep","work"],)";
      out += R"("streak":)" + n + "}}";
    }
    return out + "]";
  }();
  return text;
}

void NlohmannParse(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(nlohmann::json::parse(document()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}
BENCHMARK(NlohmannParse);

void AnyJSONFromText(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(AnyJSON::parse(document()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}
BENCHMARK(AnyJSONFromText);

void AnyJSONThroughSharedDecoder(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(JSONDecoder::shared().decode<AnyJSON>(document()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}
BENCHMARK(AnyJSONThroughSharedDecoder);

// The route of values nested in typed records: document first, then the conversion.
void AnyJSONThroughDocument(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(JSONDecoder::shared().decodeJson<AnyJSON>(velmoria::base::parseJson(document())));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}
BENCHMARK(AnyJSONThroughDocument);

void TypedRowsThroughDecoder(benchmark::State& state) {
  const velmoria::base::JSONDecoder& decoder = JSONDecoder::shared();
  for (auto _ : state) benchmark::DoNotOptimize(decoder.decode<std::vector<SessionRow>>(document()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}
BENCHMARK(TypedRowsThroughDecoder);

void AnyJSONEncode(benchmark::State& state) {
  const AnyJSON value = *AnyJSON::parse(document());
  for (auto _ : state) benchmark::DoNotOptimize(JSONEncoder::shared().encodeToString(value));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}
BENCHMARK(AnyJSONEncode);

void DateParse(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(zirudeze::helpers::parseISO8601Date("2026-12-09T10:15:09.250123+00:00"));
}
BENCHMARK(DateParse);

void DateFormat(benchmark::State& state) {
  const velmoria::base::Date date = *zirudeze::helpers::parseISO8601Date("2026-12-09T10:15:09.250123+00:00");
  for (auto _ : state) benchmark::DoNotOptimize(zirudeze::helpers::formatISO8601Date(date));
}
BENCHMARK(DateFormat);

}  // namespace
