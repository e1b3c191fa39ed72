#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "FileFaults.hpp"
#include "base/RegularFile.hpp"
#include "platform/DesktopEntry.hpp"
#include "platform/LoginItem.hpp"

namespace fs = std::filesystem;
using namespace velmoria::platform::testing;
using namespace std::chrono_literals;

namespace {

std::string entryText(const std::string& name) { return "[Desktop Entry]\nType=Application\nName=" + name + "\n"; }

// A FIFO that can be released should a reader block on it anyway.
class Fifo {
 public:
  explicit Fifo(fs::path path) : path_(std::move(path)) { ::mkfifo(path_.c_str(), 0600); }
  // Lets a reader stuck in open or read go on (it sees an empty file).
  void release() const {
    const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  }

 private:
  fs::path path_;
};

TEST(RegularFileReading, RefusesWhatIsNoRegularFileOrTooLargeWithoutOpeningIt) {
  velmoria::testsupport::ScratchFolder tmp;
  const Fifo fifo(tmp.path() / "pipe");
  auto read = std::async(std::launch::async, [&] {
    try {
      velmoria::base::readRegularFile(tmp.path() / "pipe", 1024);
      return 0;
    } catch (const std::system_error& error) {
      return error.code().value();
    }
  });
  const bool finished = read.wait_for(10s) == std::future_status::ready;
  if (!finished) fifo.release();
  ASSERT_TRUE(finished) << "reading a FIFO blocked";
  EXPECT_EQ(read.get(), EINVAL);

  writeText(tmp.path() / "big", std::string(2048, 'x'));
  try {
    velmoria::base::readRegularFile(tmp.path() / "big", 2047);
    ADD_FAILURE() << "a file over the limit was read";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), EFBIG);
  }
  EXPECT_EQ(velmoria::base::readRegularFile(tmp.path() / "big", 2048)->size(), 2048u);
  EXPECT_FALSE(velmoria::base::readRegularFile(tmp.path() / "missing", 10).has_value());
  EXPECT_THROW(velmoria::base::readRegularFile("/dev/null", 10), std::system_error);
}

TEST(DesktopEntryIndex, SkipsFifosAndOversizedFilesNamedLikeEntries) {
  velmoria::testsupport::ScratchFolder tmp;
  writeText(tmp.path() / "good.desktop", entryText("Good"));
  const Fifo fifo(tmp.path() / "trap.desktop");
  writeText(tmp.path() / "huge.desktop",
            entryText("Huge") + std::string(velmoria::platform::kMaxDesktopEntryBytes, '#'));
  fs::create_directory(tmp.path() / "sub");
  fs::create_symlink("/dev/null", tmp.path() / "sub" / "device.desktop");

  auto index = std::make_shared<velmoria::platform::DesktopEntryIndex>(std::vector<fs::path>{tmp.path()});
  auto rebuilt = std::async(std::launch::async, [index] { index->refreshIfChanged(); });
  const bool finished = rebuilt.wait_for(10s) == std::future_status::ready;
  if (!finished) fifo.release();
  ASSERT_TRUE(finished) << "the index rebuild blocked on a FIFO";
  rebuilt.get();
  EXPECT_NE(index->entry("good"), nullptr);
  EXPECT_EQ(index->entry("huge"), nullptr);
  EXPECT_EQ(index->entry("trap"), nullptr);
  EXPECT_EQ(index->entries().size(), 1u);
}

TEST(DesktopEntryIndex, ReadsEntriesThroughLinksToRegularFiles) {
  velmoria::testsupport::ScratchFolder tmp;
  fs::create_directory(tmp.path() / "store");
  writeText(tmp.path() / "store" / "real.desktop", entryText("Linked"));
  fs::create_directory(tmp.path() / "apps");
  fs::create_symlink(tmp.path() / "store" / "real.desktop", tmp.path() / "apps" / "linked.desktop");
  velmoria::platform::DesktopEntryIndex index({tmp.path() / "apps"});
  index.refreshIfChanged();
  ASSERT_NE(index.entry("linked"), nullptr);
  EXPECT_EQ(index.entry("linked")->localizedName("C"), "Linked");
}

TEST(AutostartStatus, AFifoInPlaceOfTheEntryIsNoRegistration) {
  velmoria::testsupport::ScratchFolder tmp;
  const fs::path executable = "/usr/bin/true";
  velmoria::platform::XdgAutostartLoginItem item(tmp.path(), executable);
  const Fifo fifo(tmp.path() / "velmoria.desktop");
  auto status = std::async(std::launch::async, [&] { return item.status(); });
  const bool finished = status.wait_for(10s) == std::future_status::ready;
  if (!finished) fifo.release();
  ASSERT_TRUE(finished) << "the status query blocked on a FIFO";
  EXPECT_EQ(status.get(), velmoria::platform::LoginItemStatus::notRegistered);
}

}  // namespace
