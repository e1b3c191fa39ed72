#include "platform/FileKeychainStore.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/AtomicFile.hpp"

namespace velmoria::platform {
namespace {

using Reason = KeychainStoreError::Reason;

KeychainStoreError systemFailure(const std::string& what, int error) {
  return {Reason::unknown, what + ": " + std::strerror(error)};
}

// Asked once: a system call on every read costs more than the read's own work.
uid_t us() {
  static const uid_t euid = ::geteuid();
  return euid;
}

bool isNameByte(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

void appendEncoded(std::string& out, const std::optional<std::string>& part) {
  if (!part) {
    out += '~';
    return;
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const unsigned char c : *part) {
    if (isNameByte(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
}

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      if (fd_ >= 0) ::close(fd_);
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// The folder's owner and mode, checked as the writer checks them: ours, and closed to others (a folder
// opened up since is closed again).
void checkFolder(const struct stat& info, int fd, const std::filesystem::path& folder) {
  if (!S_ISDIR(info.st_mode) || info.st_uid != us())
    throw KeychainStoreError(Reason::unknown, "The keychain folder " + folder.string() + " is not a folder of ours.");
  if ((info.st_mode & 0777) != 0700 && ::fchmod(fd, 0700) != 0)
    throw systemFailure("Cannot restrict " + folder.string(), errno);
}

// An open folder and which one it is.
struct KeptFolder {
  Descriptor fd;
  dev_t device;
  ino_t inode;
};

// The folder, for reading its items: never through a link.
KeptFolder openFolderToRead(const std::filesystem::path& folder) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) throw KeychainStoreError::itemNotFound();
    if (errno == ELOOP || errno == ENOTDIR)
      throw KeychainStoreError(Reason::unknown, "The keychain folder " + folder.string() + " is not a folder of ours.");
    throw systemFailure("Cannot open the keychain folder " + folder.string(), errno);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw systemFailure("Cannot inspect " + folder.string(), errno);
  checkFolder(info, fd.get(), folder);
  return KeptFolder{std::move(fd), info.st_dev, info.st_ino};
}

// Makes each missing folder with mode 0700 and insists that the last one is a real folder of ours,
// readable by nobody else.
void ensurePrivateFolder(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const auto& part : folder) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
      throw systemFailure("Cannot create the keychain folder " + partial.string(), errno);
  }
  openFolderToRead(folder);
}

}  // namespace

FileKeychainStore::FileKeychainStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

FileKeychainStore::~FileKeychainStore() = default;

// Opened once, then kept while the folder's path still names it: a read then costs one look at the path
// instead of an open, and the folder a kept descriptor names cannot be swapped for a link or a foreign
// folder between that look and the read. Owner and mode are checked on every use, as the writer checks
// them; a folder renamed away, or deleted and made anew, is let go of.
std::shared_ptr<const void> FileKeychainStore::folderToRead() {
  struct stat info {};
  if (::lstat(folder_.c_str(), &info) != 0) {
    if (errno == ENOENT) return nullptr;
    throw systemFailure("Cannot inspect " + folder_.string(), errno);
  }
  {
    const base::MutexLock lock(folderMutex_);
    if (const auto kept = std::static_pointer_cast<const KeptFolder>(folder_fd_);
        kept && kept->device == info.st_dev && kept->inode == info.st_ino) {
      checkFolder(info, kept->fd.get(), folder_);
      return kept;
    }
  }
  auto kept = std::make_shared<const KeptFolder>(openFolderToRead(folder_));
  const base::MutexLock lock(folderMutex_);
  folder_fd_ = kept;
  return kept;
}

std::string FileKeychainStore::fileName(const KeychainItemKey& key) {
  std::string name;
  appendEncoded(name, key.service);
  name += ',';
  appendEncoded(name, key.accessGroup);
  name += ',';
  appendEncoded(name, std::optional<std::string>(key.account));
  return name;
}

base::Data FileKeychainStore::read(const KeychainItemKey& key) {
  auto bytes = readIfPresent(key);
  if (!bytes) throw KeychainStoreError::itemNotFound();
  return std::move(*bytes);
}

std::optional<base::Data> FileKeychainStore::readIfPresent(const KeychainItemKey& key) {
  const std::string name = fileName(key);
  // Only for failures: building it costs as much as a system call.
  const auto failed = [&](const char* what) {
    const int error = errno;
    return systemFailure(std::string(what) + " " + (folder_ / name).string(), error);
  };
  const auto path = [&] { return folder_ / name; };
  const auto folder = std::static_pointer_cast<const KeptFolder>(folderToRead());
  if (!folder) return std::nullopt;
  // Non-blocking: a FIFO planted under the item's name must not hold the reader (and every session query
  // behind it); it is refused below like anything else that is not a plain file.
  const Descriptor fd(
      ::openat(folder->fd.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw failed("Cannot open the keychain item");
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw failed("Cannot inspect the keychain item");
  if (!S_ISREG(info.st_mode) || info.st_uid != us())
    throw KeychainStoreError(Reason::unknown, "The keychain item " + path().string() + " is not a file of ours.");
  if (info.st_size > static_cast<off_t>(kMaxItemBytes))
    throw KeychainStoreError(Reason::unknown, "The keychain item " + path().string() + " is too large.");

  // One byte more than announced: a read that fills it finds the file grown, and goes on, never past the cap.
  base::Data bytes(static_cast<std::size_t>(info.st_size) + 1);
  std::size_t filled = 0;
  for (;;) {
    const ssize_t n = ::read(fd.get(), bytes.data() + filled, bytes.size() - filled);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw failed("Cannot read the keychain item");
    }
    filled += static_cast<std::size_t>(n);
    // Short of what was asked: a plain file's end.
    if (n == 0 || filled < bytes.size()) break;
    if (filled > kMaxItemBytes)
      throw KeychainStoreError(Reason::unknown, "The keychain item " + path().string() + " is too large.");
    bytes.resize(std::min(bytes.size() * 2, kMaxItemBytes + 1));
  }
  bytes.resize(filled);
  return bytes;
}

void FileKeychainStore::write(const KeychainItemKey& key, const base::Data& value) {
  // What could not be read back is not written.
  if (value.size() > kMaxItemBytes) throw KeychainStoreError(Reason::unknown, "The keychain item is too large.");
  ensurePrivateFolder(folder_);
  const auto path = folder_ / fileName(key);
  try {
    writeFileAtomically(path, std::string_view(reinterpret_cast<const char*>(value.data()), value.size()), 0600);
  } catch (const std::system_error& failure) {
    throw KeychainStoreError(Reason::unknown, std::string("Cannot write the keychain item: ") + failure.what());
  }
}

// Through the folder as reading checks it, so a link in the folder's place is refused here too.
void FileKeychainStore::remove(const KeychainItemKey& key) {
  const std::string name = fileName(key);
  const auto folder = std::static_pointer_cast<const KeptFolder>(folderToRead());
  if (!folder) throw KeychainStoreError::itemNotFound();
  if (::unlinkat(folder->fd.get(), name.c_str(), 0) != 0) {
    if (errno == ENOENT) throw KeychainStoreError::itemNotFound();
    throw systemFailure("Cannot delete the keychain item " + (folder_ / name).string(), errno);
  }
}

}  // namespace velmoria::platform
