#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <system_error>

#include <gtest/gtest.h>

#include "FileFaults.hpp"
#include "platform/AtomicFile.hpp"

namespace fs = std::filesystem;
using namespace velmoria::platform::testing;

namespace {

// Folder syncs fail while this is set; everything else goes to the real fsync.
std::atomic<bool> failFolderSyncs = false;

std::vector<std::string> temporariesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder)) {
    const auto name = item.path().filename().string();
    if (name.front() == '.') names.push_back(name);
  }
  return names;
}

}  // namespace

extern "C" int fsync(int fd) {
  using Real = int (*)(int);
  static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fsync"));
  struct stat info {};
  if (failFolderSyncs.load() && ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    errno = EIO;
    return -1;
  }
  return real(fd);
}

namespace {

TEST(AtomicFileTemporaries, AWriterKilledBeforeItsRenameLeavesNothingAfterTheNextWrite) {
  velmoria::testsupport::ScratchFolder tmp;
  const fs::path target = tmp.path() / "standard.json";
  velmoria::platform::writeFileAtomically(target, "old");
  for (int round = 0; round < 3; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const std::string big(4 << 20, 'n');
      for (;;) velmoria::platform::writeFileAtomically(target, big);
    }
    // Wait until the child has a temporary file open, then kill it there.
    for (int i = 0; i < 5000 && temporariesIn(tmp.path()).empty(); ++i) ::usleep(100);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  writeText(tmp.path() / ".standard.json.AbC123", "left by a writer that died");
  ASSERT_FALSE(temporariesIn(tmp.path()).empty());

  velmoria::platform::writeFileAtomically(target, "new");
  EXPECT_EQ(contentOf(target), "new");
  EXPECT_TRUE(temporariesIn(tmp.path()).empty()) << temporariesIn(tmp.path()).front();
}

TEST(AtomicFileTemporaries, ALiveWritersTemporaryAndOtherFilesAreKept) {
  velmoria::testsupport::ScratchFolder tmp;
  const fs::path live = tmp.path() / ".standard.json.Live01";
  writeText(live, "being written");
  const int liveFd = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(liveFd, 0);
  ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);
  writeText(tmp.path() / ".other.json.AbC123", "another file's");
  writeText(tmp.path() / ".standard.json.toolong1", "not our pattern");
  writeText(tmp.path() / ".standard.json.ab-123", "not our pattern");

  velmoria::platform::writeFileAtomically(tmp.path() / "standard.json", "new");
  EXPECT_EQ(contentOf(live), "being written");
  EXPECT_TRUE(fs::exists(tmp.path() / ".other.json.AbC123"));
  EXPECT_TRUE(fs::exists(tmp.path() / ".standard.json.toolong1"));
  EXPECT_TRUE(fs::exists(tmp.path() / ".standard.json.ab-123"));
  ::close(liveFd);
}

TEST(AtomicFileTemporaries, AFolderThatCannotBeSyncedIsReported) {
  velmoria::testsupport::ScratchFolder tmp;
  failFolderSyncs = true;
  try {
    velmoria::platform::writeFileAtomically(tmp.path() / "standard.json", "new");
    ADD_FAILURE() << "the failed folder sync went unreported";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), EIO);
    EXPECT_NE(std::string(error.what()).find("sync folder"), std::string::npos) << error.what();
  }
  failFolderSyncs = false;
  EXPECT_EQ(contentOf(tmp.path() / "standard.json"), "new") << "the file itself was replaced";
}

}  // namespace
