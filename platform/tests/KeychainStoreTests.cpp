#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>

#include <gtest/gtest.h>

#include "KeychainStoreContract.hpp"
#include "platform/FileKeychainStore.hpp"
#include "platform/InMemoryKeychainStore.hpp"
#include "platform/SystemLog.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace fs = std::filesystem;

namespace velmoria::platform::testing {
namespace {

using Reason = KeychainStoreError::Reason;

struct InMemoryHarness final : KeychainHarness {
  InMemoryKeychainStore fake;
  KeychainStore& store() override { return fake; }
  std::size_t itemCount() override { return fake.items().size(); }
};

struct FileHarness final : KeychainHarness {
  testsupport::ScratchFolder scratch{"keychain-test"};
  FileKeychainStore files{scratch.path() / "velmoria" / "keychain"};
  KeychainStore& store() override { return files; }
  std::size_t itemCount() override {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(files.folder()))
      if (entry.is_regular_file()) ++count;
    return count;
  }
};

INSTANTIATE_TEST_SUITE_P(Stores, KeychainStoreContract,
                         ::testing::Values(KeychainStoreKind{"InMemory",
                                                             [] { return std::make_unique<InMemoryHarness>(); }},
                                           KeychainStoreKind{"Files", [] { return std::make_unique<FileHarness>(); }}),
                         kindName);

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

std::string contentOf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(FileKeychainStore, NamesEncodeEveryAttributeAndMarkAbsentOnes) {
  EXPECT_EQ(FileKeychainStore::fileName({"zirudeze.auth", std::nullopt, "zd-abc-auth-token"}),
            "zirudeze%2Eauth,~,zd-abc-auth-token");
  EXPECT_EQ(FileKeychainStore::fileName({std::nullopt, std::nullopt, "k"}), "~,~,k");
  EXPECT_EQ(FileKeychainStore::fileName({"", "", ""}), ",,");
  EXPECT_EQ(FileKeychainStore::fileName({"~", "a b", "\xC3\xA9/"}), "%7E,a%20b,%C3%A9%2F");
}

TEST(FileKeychainStore, AnItemWithoutServiceOrGroupCarriesOnlyTheAccount) {
  FileHarness harness;
  harness.store().write({std::nullopt, std::nullopt, "k"}, base::dataFromString("v"));
  EXPECT_EQ(contentOf(harness.files.folder() / "~,~,k"), "v");
}

TEST(FileKeychainStore, KeysWithPathSegmentsStayInsideTheFolder) {
  FileHarness harness;
  harness.store().write({std::nullopt, std::nullopt, "../x"}, base::dataFromString("v"));
  harness.store().write({"..", "..", ".."}, base::dataFromString("w"));
  EXPECT_EQ(harness.itemCount(), 2u);
  EXPECT_TRUE(fs::exists(harness.files.folder() / "~,~,%2E%2E%2Fx"));
  EXPECT_FALSE(fs::exists(harness.files.folder().parent_path() / "x"));
  std::size_t outside = 0;
  for (const auto& entry : fs::recursive_directory_iterator(harness.scratch.path()))
    if (entry.is_regular_file() && entry.path().parent_path() != harness.files.folder()) ++outside;
  EXPECT_EQ(outside, 0u);
}

TEST(FileKeychainStore, ItemsAreOwnerOnlyFilesInAnOwnerOnlyFolder) {
  FileHarness harness;
  harness.store().write(kAuthItem, base::dataFromString("secret"));
  EXPECT_EQ(modeOf(harness.files.folder()), 0700u);
  EXPECT_EQ(modeOf(harness.files.folder().parent_path()), 0700u);
  EXPECT_EQ(modeOf(harness.files.folder() / FileKeychainStore::fileName(kAuthItem)), 0600u);
}

TEST(FileKeychainStore, AnExistingFolderOpenToOthersIsClosed) {
  testsupport::ScratchFolder scratch;
  const fs::path folder = scratch.path() / "keychain";
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms::all);
  FileKeychainStore files(folder);
  files.write(kAuthItem, base::dataFromString("x"));
  EXPECT_EQ(modeOf(folder), 0700u);
}

TEST(FileKeychainStore, AFolderThatIsALinkIsRefusedAndNothingIsWrittenThroughIt) {
  testsupport::ScratchFolder scratch;
  fs::create_directory(scratch.path() / "elsewhere");
  fs::create_directory_symlink(scratch.path() / "elsewhere", scratch.path() / "keychain");
  FileKeychainStore files(scratch.path() / "keychain");
  try {
    files.write(kAuthItem, base::dataFromString("x"));
    ADD_FAILURE() << "wrote through a link";
  } catch (const KeychainStoreError& error) {
    EXPECT_EQ(error.reason(), Reason::unknown);
  }
  EXPECT_TRUE(fs::is_empty(scratch.path() / "elsewhere"));
}

TEST(FileKeychainStore, AnItemFileThatIsALinkIsNotFollowed) {
  FileHarness harness;
  harness.store().write(kAuthItem, base::dataFromString("x"));
  const fs::path item = harness.files.folder() / FileKeychainStore::fileName(kAuthItem);
  fs::remove(item);
  std::ofstream(harness.scratch.path() / "planted") << "planted";
  fs::create_symlink(harness.scratch.path() / "planted", item);
  try {
    harness.store().read(kAuthItem);
    ADD_FAILURE() << "followed a link";
  } catch (const KeychainStoreError& error) {
    EXPECT_EQ(error.reason(), Reason::unknown);
  }
}

// Reading trusts nothing it finds in the folder: what another user (or another program of ours gone
// wrong) put there is refused, never read, waited on or loaded whole.
void expectRefused(KeychainStore& store, const std::string& why) {
  try {
    const auto read = store.read(kAuthItem);
    ADD_FAILURE() << why << ": read " << read.size() << " bytes";
  } catch (const KeychainStoreError& error) {
    EXPECT_EQ(error.reason(), Reason::unknown) << why;
  }
}

TEST(FileKeychainStoreReading, AFolderThatIsALinkIsNotReadThrough) {
  testsupport::ScratchFolder scratch;
  FileKeychainStore foreign(scratch.path() / "foreign");
  foreign.write(kAuthItem, base::dataFromString("planted"));
  fs::create_directory_symlink(scratch.path() / "foreign", scratch.path() / "keychain");
  FileKeychainStore files(scratch.path() / "keychain");
  expectRefused(files, "a linked folder");
}

TEST(FileKeychainStoreReading, AFifoAtAnItemsNameIsRefusedWithoutWaiting) {
  FileHarness harness;
  harness.store().write({std::nullopt, std::nullopt, "other"}, base::dataFromString("x"));
  const fs::path item = harness.files.folder() / FileKeychainStore::fileName(kAuthItem);
  ASSERT_EQ(::mkfifo(item.c_str(), 0600), 0);
  auto reading = std::async(std::launch::async, [&] { expectRefused(harness.store(), "a FIFO"); });
  if (reading.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "the read waits for a writer of the FIFO";
    // Ends the wait so the test can finish.
    const int writer = ::open(item.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) ::close(writer);
  }
  reading.get();
}

TEST(FileKeychainStoreReading, AnItemOrFolderOfAnotherUserIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
  constexpr uid_t kNobody = 65534;
  FileHarness harness;
  harness.store().write(kAuthItem, base::dataFromString("ours"));
  const fs::path item = harness.files.folder() / FileKeychainStore::fileName(kAuthItem);
  ASSERT_EQ(::chown(item.c_str(), kNobody, kNobody), 0);
  expectRefused(harness.store(), "a foreign item");

  ASSERT_EQ(::chown(item.c_str(), 0, 0), 0);
  EXPECT_EQ(harness.store().read(kAuthItem), base::dataFromString("ours"));
  ASSERT_EQ(::chown(harness.files.folder().c_str(), kNobody, kNobody), 0);
  FileKeychainStore reader(harness.files.folder());
  expectRefused(reader, "a foreign folder");
}

TEST(FileKeychainStoreReading, AnItemAboveTheCapIsNeitherReadNorWritten) {
  FileHarness harness;
  harness.store().write(kAuthItem, base::Data(FileKeychainStore::kMaxItemBytes, 'a'));
  EXPECT_EQ(harness.store().read(kAuthItem).size(), FileKeychainStore::kMaxItemBytes);

  std::ofstream(harness.files.folder() / FileKeychainStore::fileName(kAuthItem), std::ios::app) << 'b';
  expectRefused(harness.store(), "an oversized item");
  EXPECT_THROW(harness.store().write(kAuthItem, base::Data(FileKeychainStore::kMaxItemBytes + 1, 'c')),
               KeychainStoreError);
}

TEST(FileKeychainStoreReading, AFolderOpenedToOthersIsClosedAgainOnReading) {
  FileHarness harness;
  harness.store().write(kAuthItem, base::dataFromString("x"));
  // Read once first, so the folder is one the store already holds open.
  EXPECT_EQ(harness.store().read(kAuthItem), base::dataFromString("x"));
  fs::permissions(harness.files.folder(), fs::perms::all);
  EXPECT_EQ(harness.store().read(kAuthItem), base::dataFromString("x"));
  EXPECT_EQ(modeOf(harness.files.folder()), 0700u);
}

// A store keeps the folder it read through open; what it reads must still be what the folder's path names.
TEST(FileKeychainStoreReading, AFolderRenamedAwayOrMadeAnewIsNotReadThroughTheOldOne) {
  FileHarness harness;
  const fs::path folder = harness.files.folder();
  harness.store().write(kAuthItem, base::dataFromString("old"));
  EXPECT_EQ(harness.store().read(kAuthItem), base::dataFromString("old"));
  fs::rename(folder, harness.scratch.path() / "moved");
  EXPECT_EQ(harness.store().readIfPresent(kAuthItem), std::nullopt);
  FileKeychainStore other(folder);
  other.write(kAuthItem, base::dataFromString("new"));
  EXPECT_EQ(harness.store().read(kAuthItem), base::dataFromString("new"));

  // Deleted and made anew by another store, with no look in between.
  fs::remove_all(folder);
  other.write(kAuthItem, base::dataFromString("newer"));
  EXPECT_EQ(harness.store().read(kAuthItem), base::dataFromString("newer"));
}

TEST(FileKeychainStoreReading, AFolderThatIsALinkIsNotRemovedThrough) {
  testsupport::ScratchFolder scratch;
  FileKeychainStore foreign(scratch.path() / "foreign");
  foreign.write(kAuthItem, base::dataFromString("planted"));
  fs::create_directory_symlink(scratch.path() / "foreign", scratch.path() / "keychain");
  FileKeychainStore files(scratch.path() / "keychain");
  try {
    files.remove(kAuthItem);
    ADD_FAILURE() << "removed through a link";
  } catch (const KeychainStoreError& error) {
    EXPECT_EQ(error.reason(), Reason::unknown);
  }
  EXPECT_EQ(foreign.read(kAuthItem), base::dataFromString("planted"));
}

TEST(FileKeychainStoreReading, WithoutTheFolderAnItemIsNotFound) {
  testsupport::ScratchFolder scratch;
  FileKeychainStore files(scratch.path() / "never-made");
  try {
    files.read(kAuthItem);
    ADD_FAILURE() << "read an item of a folder that is not there";
  } catch (const KeychainStoreError& error) {
    EXPECT_EQ(error.reason(), Reason::itemNotFound);
  }
}

// A writer killed at any moment leaves one of the values it wrote, whole.
TEST(FileKeychainStore, AKillDuringWritesLeavesAReadableItem) {
  FileHarness harness;
  const base::Data first(64 * 1024, 'a');
  const base::Data second(96 * 1024, 'b');
  harness.store().write(kAuthItem, first);
  for (int round = 0; round < 5; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        harness.files.write(kAuthItem, second);
        harness.files.write(kAuthItem, first);
      }
    }
    ::usleep(15000 + round * 6000);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const base::Data read = harness.store().read(kAuthItem);
    EXPECT_TRUE(read == first || read == second) << "torn item of " << read.size() << " bytes";
  }
}

TEST(InMemoryKeychainStore, FailsOnDemandAndCountsEveryAsk) {
  InMemoryKeychainStore fake;
  fake.failWrites(KeychainStoreError(Reason::interactionNotAllowed, "locked"));
  EXPECT_THROW(fake.write(kAuthItem, {}), KeychainStoreError);
  EXPECT_TRUE(fake.items().empty());
  fake.failWrites(std::nullopt);
  fake.write(kAuthItem, base::dataFromString("v"));
  fake.failReads(KeychainStoreError(Reason::userCanceled, "no"));
  fake.failRemovals(KeychainStoreError(Reason::unknown, "broken"));
  try {
    fake.read(kAuthItem);
    ADD_FAILURE();
  } catch (const KeychainStoreError& error) {
    EXPECT_EQ(error.reason(), Reason::userCanceled);
  }
  EXPECT_THROW(fake.remove(kAuthItem), KeychainStoreError);
  EXPECT_EQ(fake.items().size(), 1u);
  EXPECT_EQ(fake.writeCount(), 2u);
  EXPECT_EQ(fake.readCount(), 1u);
  EXPECT_EQ(fake.removeCount(), 1u);
}

TEST(KeychainChoice, WithoutASessionBusFilesAreChosenWithOneWarning) {
  testsupport::ScratchFolder scratch;
  CapturedLog log;
  const auto store = [&] {
    const testsupport::ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS",
                                               "unix:path=" + (scratch.path() / "no-bus").string());
    return chooseKeychainStore(log, scratch.path() / "keychain");
  }();

  ASSERT_NE(dynamic_cast<FileKeychainStore*>(store.get()), nullptr);
  store->write(kAuthItem, base::dataFromString("v"));
  EXPECT_TRUE(fs::exists(scratch.path() / "keychain" / FileKeychainStore::fileName(kAuthItem)));
  const auto records = log.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].level, LogLevel::warning);
  EXPECT_NE(records[0].message.find((scratch.path() / "keychain").string()), std::string::npos);
}

TEST(KeychainChoice, TheFileFolderIsUnderTheUsersDataFolder) {
  {
    const testsupport::ScopedEnvironment data("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(defaultKeychainFolder(), fs::path("/data/home/velmoria/keychain"));
  }
  const testsupport::ScopedEnvironment data("XDG_DATA_HOME", "relative");
  const testsupport::ScopedEnvironment home("HOME", "/home/u");
  EXPECT_EQ(defaultKeychainFolder(), fs::path("/home/u/.local/share/velmoria/keychain"));
}

}  // namespace
}  // namespace velmoria::platform::testing
