// A 30-field list built and then searched for every one of its names, against a plain vector of string
// pairs searched linearly without regard to case.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "httptypes/HTTPFields.hpp"

namespace {

using zirudeze::http::HTTPFieldName;
using zirudeze::http::HTTPFields;
using PairList = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kNames[] = {"Accept",
                                  "Accept-Encoding",
                                  "Accept-Language",
                                  "Authorization",
                                  "Cache-Control",
                                  "Connection",
                                  "Content-Length",
                                  "Content-Type",
                                  "Cookie",
                                  "Date",
                                  "ETag",
                                  "Host",
                                  "If-Modified-Since",
                                  "If-None-Match",
                                  "Origin",
                                  "Referer",
                                  "User-Agent",
                                  "X-Client-Info",
                                  "X-Request-Id",
                                  "X-Forwarded-For",
                                  "X-Forwarded-Proto",
                                  "Prefer",
                                  "Range",
                                  "Sec-Fetch-Mode",
                                  "Sec-Fetch-Site",
                                  "Upgrade",
                                  "Via",
                                  "Content-Profile",
                                  "Accept-Profile",
                                  "Apikey"};
constexpr std::size_t kCount = std::size(kNames);
static_assert(kCount == 30);

std::string valueFor(std::size_t i) { return "value-" + std::to_string(i) + "; q=0.9"; }

// Looked up in lower case, as callers usually spell names differently from the sender.
std::vector<std::string> lookupTexts() {
  std::vector<std::string> texts;
  for (const char* name : kNames) {
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    texts.push_back(lower);
  }
  return texts;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Same answer as the field list: every value of the name, joined.
std::optional<std::string> findAll(const PairList& list, std::string_view name) {
  std::optional<std::string> joined;
  for (const auto& [key, value] : list) {
    if (!equalIgnoringCase(key, name)) continue;
    if (joined)
      joined->append(", ").append(value);
    else
      joined = value;
  }
  return joined;
}

std::optional<std::string> findFirst(const PairList& list, std::string_view name) {
  for (const auto& [key, value] : list) {
    if (equalIgnoringCase(key, name)) return value;
  }
  return std::nullopt;
}

HTTPFields buildFields(const std::vector<HTTPFieldName>& names) {
  HTTPFields fields;
  for (std::size_t i = 0; i < kCount; ++i) fields.append(zirudeze::http::HTTPField(names[i], valueFor(i)));
  return fields;
}

PairList buildPairs() {
  PairList list;
  for (std::size_t i = 0; i < kCount; ++i) list.emplace_back(kNames[i], valueFor(i));
  return list;
}

std::vector<HTTPFieldName> fieldNames() {
  std::vector<HTTPFieldName> names;
  for (const char* name : kNames) names.push_back(*HTTPFieldName::make(name));
  return names;
}

std::vector<HTTPFieldName> lookupNames() {
  std::vector<HTTPFieldName> names;
  for (const auto& text : lookupTexts()) names.push_back(*HTTPFieldName::make(text));
  return names;
}

void BM_HTTPFields_Build30LookUpAll(benchmark::State& state) {
  const auto names = fieldNames();
  const auto lookups = lookupNames();
  for (auto _ : state) {
    const HTTPFields fields = buildFields(names);
    for (const auto& name : lookups) benchmark::DoNotOptimize(fields[name]);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kCount));
}

void BM_PairVector_Build30LookUpAll(benchmark::State& state) {
  const auto lookups = lookupTexts();
  for (auto _ : state) {
    const PairList list = buildPairs();
    for (const auto& name : lookups) benchmark::DoNotOptimize(findAll(list, name));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kCount));
}

void BM_HTTPFields_LookUpAll30(benchmark::State& state) {
  const HTTPFields fields = buildFields(fieldNames());
  const auto lookups = lookupNames();
  for (auto _ : state) {
    for (const auto& name : lookups) benchmark::DoNotOptimize(fields[name]);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kCount));
}

void BM_PairVector_LookUpAll30(benchmark::State& state) {
  const PairList list = buildPairs();
  const auto lookups = lookupTexts();
  for (auto _ : state) {
    for (const auto& name : lookups) benchmark::DoNotOptimize(findAll(list, name));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kCount));
}

void BM_PairVector_LookUpFirst30(benchmark::State& state) {
  const PairList list = buildPairs();
  const auto lookups = lookupTexts();
  for (auto _ : state) {
    for (const auto& name : lookups) benchmark::DoNotOptimize(findFirst(list, name));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kCount));
}

}  // namespace

BENCHMARK(BM_HTTPFields_Build30LookUpAll);
BENCHMARK(BM_PairVector_Build30LookUpAll);
BENCHMARK(BM_HTTPFields_LookUpAll30);
BENCHMARK(BM_PairVector_LookUpAll30);
BENCHMARK(BM_PairVector_LookUpFirst30);
