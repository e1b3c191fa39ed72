#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "StorageTestSupport.hpp"

namespace zirudeze::storage {
namespace {

using testing::StorageServiceTest;
using testing::text;

// One client and one file API shared by many threads, as the facade hands them out.
TEST_F(StorageServiceTest, OneClientServesManyThreadsAtOnce) {
  constexpr int kThreads = 6;
  constexpr int kRounds = 8;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const auto own = client->from("photos");
      for (int round = 0; round < kRounds; ++round) {
        const std::string path = "t" + std::to_string(t) + "/r" + std::to_string(round) + ".txt";
        const std::string content = path + std::string(static_cast<std::size_t>(round) * 100, 'x');
        try {
          const auto& api = round % 2 ? *files : *own;
          if (api.upload(path, velmoria::base::dataFromString(content)).fullPath != "photos/" + path) ++failures;
          if (!api.exists(path)) ++failures;
          if (text(api.download(path)) != content) ++failures;
          if (api.info(path).size != static_cast<std::int64_t>(content.size())) ++failures;
          (void)api.getPublicURL(path);
        } catch (const std::exception&) {
          ++failures;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(storage.objectCount("photos"), static_cast<std::size_t>(kThreads * kRounds));
}

}  // namespace
}  // namespace zirudeze::storage
