#include "platform/FileKeychainStore.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/AtomicFile.hpp"

namespace platform {
namespace {

using Reason = KeychainStoreError::Reason;

KeychainStoreError systemFailure(const std::string& what, int error) {
  return {Reason::unknown, what + ": " + std::strerror(error)};
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

// Makes each missing folder with mode 0700 and insists that the last one is a real folder of ours,
// readable by nobody else.
void ensurePrivateFolder(const std::filesystem::path& folder) {
  std::filesystem::path partial;
  for (const auto& part : folder) {
    partial /= part;
    if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
      throw systemFailure("Cannot create the keychain folder " + partial.string(), errno);
  }
  struct stat info {};
  if (::lstat(folder.c_str(), &info) != 0) throw systemFailure("Cannot inspect " + folder.string(), errno);
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
    throw KeychainStoreError(Reason::unknown, "The keychain folder " + folder.string() + " is not a folder of ours.");
  if ((info.st_mode & 0777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
    throw systemFailure("Cannot restrict " + folder.string(), errno);
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
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The folder, for reading its items: never through a link, and only when it is ours, closed to others
// as the writer keeps it (a folder opened up since is closed again).
Descriptor openFolderToRead(const std::filesystem::path& folder) {
  Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) throw KeychainStoreError::itemNotFound();
    if (errno == ELOOP || errno == ENOTDIR)
      throw KeychainStoreError(Reason::unknown, "The keychain folder " + folder.string() + " is not a folder of ours.");
    throw systemFailure("Cannot open the keychain folder " + folder.string(), errno);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw systemFailure("Cannot inspect " + folder.string(), errno);
  if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
    throw KeychainStoreError(Reason::unknown, "The keychain folder " + folder.string() + " is not a folder of ours.");
  if ((info.st_mode & 0777) != 0700 && ::fchmod(fd.get(), 0700) != 0)
    throw systemFailure("Cannot restrict " + folder.string(), errno);
  return fd;
}

}  // namespace

FileKeychainStore::FileKeychainStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

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
  const Descriptor folder = openFolderToRead(folder_);
  const std::string name = fileName(key);
  const auto path = folder_ / name;
  // Non-blocking: a FIFO planted under the item's name must not hold the reader (and every session query
  // behind it); it is refused below like anything else that is not a plain file.
  const Descriptor fd(::openat(folder.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) {
    if (errno == ENOENT) throw KeychainStoreError::itemNotFound();
    throw systemFailure("Cannot open the keychain item " + path.string(), errno);
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throw systemFailure("Cannot inspect the keychain item " + path.string(), errno);
  if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
    throw KeychainStoreError(Reason::unknown, "The keychain item " + path.string() + " is not a file of ours.");
  if (info.st_size > static_cast<off_t>(kMaxItemBytes))
    throw KeychainStoreError(Reason::unknown, "The keychain item " + path.string() + " is too large.");

  base::Data bytes;
  bytes.reserve(static_cast<std::size_t>(info.st_size));
  std::uint8_t buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw systemFailure("Cannot read the keychain item " + path.string(), errno);
    }
    if (n == 0) break;
    // Grown since it was inspected: still never more than the cap.
    if (bytes.size() + static_cast<std::size_t>(n) > kMaxItemBytes)
      throw KeychainStoreError(Reason::unknown, "The keychain item " + path.string() + " is too large.");
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
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

void FileKeychainStore::remove(const KeychainItemKey& key) {
  const auto path = folder_ / fileName(key);
  if (::unlink(path.c_str()) != 0) {
    if (errno == ENOENT) throw KeychainStoreError::itemNotFound();
    throw systemFailure("Cannot delete the keychain item " + path.string(), errno);
  }
}

}  // namespace platform
