#include "platform/TemporaryDirectory.hpp"
#include "testsupport/ScratchFolder.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(TemporaryDirectory, UsesOnlyPrivateFoldersAndRefusesAPlantedLink) {
  const testsupport::ScratchFolder folder{"tmpdir-test"};
  const fs::path& root = folder.path();
  const fs::path runtime = root / "runtime";
  fs::create_directory(runtime);
  ::chmod(runtime.c_str(), 0700);
  {
    ScopedEnv env("XDG_RUNTIME_DIR", runtime.string());
    EXPECT_EQ(platform::temporaryDirectory(), runtime);
  }
  ::chmod(runtime.c_str(), 0755);  // open to others: not used
  ScopedEnv env("XDG_RUNTIME_DIR", runtime.string());
  ScopedEnv tmp("TMPDIR", root.string());
  const fs::path own = root / ("velmoria-" + std::to_string(::geteuid()));
  EXPECT_EQ(platform::temporaryDirectory(), own);
  struct stat st {};
  ASSERT_EQ(::lstat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  fs::remove(own);
  fs::create_directory_symlink(runtime, own);
  EXPECT_THROW(platform::temporaryDirectory(), std::system_error);
}

}  // namespace
