#include "StreamedFormBody.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "storage/MultipartFormDataError.hpp"

namespace zirudeze::storage::detail {
namespace {

using Kind = MultipartFormDataError::Kind;

MultipartFormDataError readFailed(std::exception_ptr cause) {
  return MultipartFormDataError(Kind::inputStreamReadFailed, std::move(cause));
}

MultipartFormDataError systemFailure(int code, const std::filesystem::path& path, const std::string& what) {
  return readFailed(
      std::make_exception_ptr(std::system_error(code, std::generic_category(), what + " " + path.string())));
}

MultipartFormDataError lengthFailure(std::uint64_t expected, std::uint64_t read) {
  return readFailed(std::make_exception_ptr(UnexpectedInputStreamLength(expected, read)));
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&&) = delete;
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// The content of one file part, read front to back through a descriptor of its own.
class FileContentReader {
 public:
  explicit FileContentReader(const StreamedFormBody::FileContent& content)
      : content_(content), fd_(::open(content.path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (fd_.get() < 0) throw systemFailure(errno, content.path, "cannot open");
    ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  }

  bool done() const noexcept { return checked_; }

  // Up to buffer.size() bytes of the content; 0 once all of it was read and checked.
  std::size_t read(std::span<std::uint8_t> buffer) {
    const std::uint64_t remaining = content_.length - position_;
    if (remaining == 0) {
      checkEnd();
      return 0;
    }
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), remaining));
    const ssize_t count = readSome(buffer.data(), wanted);
    if (count < 0) throw systemFailure(errno, content_.path, "cannot read");
    if (count == 0) throw lengthFailure(content_.length, position_);
    position_ += static_cast<std::uint64_t>(count);
    return static_cast<std::size_t>(count);
  }

 private:
  ssize_t readSome(std::uint8_t* into, std::size_t count) const {
    ssize_t result;
    do {
      result = ::read(fd_.get(), into, count);
    } while (result < 0 && errno == EINTR);
    return result;
  }

  // All declared bytes were read: the file must end here and still be there.
  void checkEnd() {
    if (checked_) return;
    std::uint8_t extra = 0;
    const ssize_t more = readSome(&extra, 1);
    if (more < 0) throw systemFailure(errno, content_.path, "cannot read");
    struct stat status {};
    if (::fstat(fd_.get(), &status) != 0) throw systemFailure(errno, content_.path, "cannot inspect");
    if (more > 0) {
      const auto size = static_cast<std::uint64_t>(std::max<off_t>(status.st_size, 0));
      throw lengthFailure(content_.length, std::max(content_.length + 1, size));
    }
    if (status.st_nlink == 0) throw systemFailure(ENOENT, content_.path, "removed while it was sent:");
    checked_ = true;
  }

  const StreamedFormBody::FileContent& content_;
  FileDescriptor fd_;
  std::uint64_t position_ = 0;
  bool checked_ = false;
};

class FormReader final : public helpers::HTTPBodyStream::Reader {
 public:
  // Keeps the body alive: a reader may outlive the request that opened it.
  explicit FormReader(std::shared_ptr<const StreamedFormBody> body,
                      const std::vector<StreamedFormBody::Segment>& segments)
      : body_(std::move(body)), segments_(segments) {
    // Every file is opened before the first byte is asked for, so a missing one fails with nothing sent.
    for (const auto& segment : segments_) {
      if (const auto* file = std::get_if<StreamedFormBody::FileContent>(&segment)) files_.emplace_back(*file);
    }
  }

  std::size_t read(std::span<std::uint8_t> buffer) override {
    std::size_t filled = 0;
    while (filled < buffer.size() && index_ < segments_.size()) {
      const auto room = buffer.subspan(filled);
      if (const auto* text = std::get_if<velmoria::base::Data>(&segments_[index_])) {
        const std::size_t count = std::min(room.size(), text->size() - offset_);
        std::memcpy(room.data(), text->data() + offset_, count);
        filled += count;
        offset_ += count;
        if (offset_ == text->size()) next();
      } else {
        FileContentReader& file = files_[fileIndex_];
        const std::size_t count = file.read(room);
        filled += count;
        if (count == 0 && file.done()) {
          ++fileIndex_;
          next();
        }
      }
    }
    return filled;
  }

 private:
  void next() {
    ++index_;
    offset_ = 0;
  }

  const std::shared_ptr<const StreamedFormBody> body_;
  const std::vector<StreamedFormBody::Segment>& segments_;
  std::vector<FileContentReader> files_;
  std::size_t index_ = 0;
  std::size_t offset_ = 0;
  std::size_t fileIndex_ = 0;
};

}  // namespace

StreamedFormBody::StreamedFormBody(std::vector<Segment> segments) : segments_(std::move(segments)) {
  for (const auto& segment : segments_) {
    const std::uint64_t size = std::holds_alternative<velmoria::base::Data>(segment)
                                   ? std::get<velmoria::base::Data>(segment).size()
                                   : std::get<FileContent>(segment).length;
    length_ = size > std::numeric_limits<std::uint64_t>::max() - length_ ? std::numeric_limits<std::uint64_t>::max()
                                                                         : length_ + size;
  }
}

std::unique_ptr<helpers::HTTPBodyStream::Reader> StreamedFormBody::open() const {
  return std::make_unique<FormReader>(shared_from_this(), segments_);
}

}  // namespace zirudeze::storage::detail
