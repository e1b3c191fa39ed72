#include "storage/InputStream.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace zirudeze::storage {
namespace {

// Large enough that 1024-byte reads rarely reach the kernel.
constexpr std::size_t kFileBufferSize = 256 * 1024;

}  // namespace

MemoryInputStream::MemoryInputStream(velmoria::base::Data data) : data_(std::move(data)) {}

void MemoryInputStream::open() { position_ = 0; }

bool MemoryInputStream::hasBytesAvailable() const { return position_ < data_.size(); }

std::ptrdiff_t MemoryInputStream::read(std::span<std::uint8_t> buffer) {
  const std::size_t count = std::min(buffer.size(), data_.size() - position_);
  std::memcpy(buffer.data(), data_.data() + position_, count);
  position_ += count;
  return static_cast<std::ptrdiff_t>(count);
}

std::unique_ptr<FileInputStream> FileInputStream::make(const std::filesystem::path& path) {
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) return nullptr;
  std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferSize);
  return std::unique_ptr<FileInputStream>(new FileInputStream(std::move(file), path));
}

FileInputStream::FileInputStream(std::unique_ptr<std::FILE, Closer> file, std::filesystem::path path)
    : file_(std::move(file)), path_(std::move(path)) {}

void FileInputStream::close() {
  file_.reset();
  ended_ = true;
}

bool FileInputStream::hasBytesAvailable() const { return file_ && !ended_; }

std::ptrdiff_t FileInputStream::read(std::span<std::uint8_t> buffer) {
  if (!file_) return 0;
  const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file_.get());
  if (count < buffer.size()) {
    ended_ = true;
    if (std::ferror(file_.get())) {
      error_ = std::make_exception_ptr(std::system_error(errno ? errno : EIO, std::generic_category(), "read"));
      return -1;
    }
  }
  return static_cast<std::ptrdiff_t>(count);
}

}  // namespace zirudeze::storage
