#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/TemporaryDirectory.hpp"
#include "testsupport/ScopedEnvironment.hpp"
#include "testsupport/ScratchFolder.hpp"

namespace fs = std::filesystem;

namespace {

TEST(TemporaryDirectory, UsesOnlyPrivateFoldersAndRefusesAPlantedLink) {
  const velmoria::testsupport::ScratchFolder folder{"tmpdir-test"};
  const fs::path& root = folder.path();
  const fs::path runtime = root / "runtime";
  fs::create_directory(runtime);
  ::chmod(runtime.c_str(), 0700);
  {
    velmoria::testsupport::ScopedEnvironment env("XDG_RUNTIME_DIR", runtime.string());
    EXPECT_EQ(velmoria::platform::temporaryDirectory(), runtime);
  }
  ::chmod(runtime.c_str(), 0755);  // open to others: not used
  velmoria::testsupport::ScopedEnvironment env("XDG_RUNTIME_DIR", runtime.string());
  velmoria::testsupport::ScopedEnvironment tmp("TMPDIR", root.string());
  const fs::path own = root / ("velmoria-" + std::to_string(::geteuid()));
  EXPECT_EQ(velmoria::platform::temporaryDirectory(), own);
  struct stat st {};
  ASSERT_EQ(::lstat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  fs::remove(own);
  fs::create_directory_symlink(runtime, own);
  EXPECT_THROW(velmoria::platform::temporaryDirectory(), std::system_error);
}

}  // namespace
