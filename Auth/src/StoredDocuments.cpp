#include "StoredDocuments.hpp"

#include <array>
#include <cstddef>
#include <memory>

#include "auth/AuthJSONCoders.hpp"
#include "auth/SessionStorage.hpp"
#include "base/ThreadSafety.hpp"
#include "base/coding/CodingErrors.hpp"

namespace zirudeze::auth::detail {
namespace {

// The last documents of one form and what each held; the oldest entry makes room for a new one.
class Remembered {
 public:
  // What `document` held when it was last decoded; absent when it was not seen lately.
  std::optional<std::shared_ptr<const std::optional<Session>>> find(const velmoria::base::Data& document) {
    const velmoria::base::MutexLock lock(mutex_);
    for (const auto& entry : entries_) {
      if (entry.held && entry.document == document) return entry.held;
    }
    return std::nullopt;
  }

  void remember(const velmoria::base::Data& document, std::shared_ptr<const std::optional<Session>> held) {
    const velmoria::base::MutexLock lock(mutex_);
    entries_[next_] = Entry{document, std::move(held)};
    next_ = (next_ + 1) % entries_.size();
  }

 private:
  struct Entry {
    velmoria::base::Data document;
    std::shared_ptr<const std::optional<Session>> held;
  };

  velmoria::base::Mutex mutex_;
  std::array<Entry, 4> entries_ VM_GUARDED_BY(mutex_);
  std::size_t next_ VM_GUARDED_BY(mutex_) = 0;
};

Remembered& rememberedFor(DocumentForm form) {
  static auto* const forms = new std::array<Remembered, 3>();
  return (*forms)[static_cast<std::size_t>(form)];
}

std::optional<Session> decodeIn(DocumentForm form, const velmoria::base::Data& document) {
  try {
    switch (form) {
      case DocumentForm::current:
        return StoredSessionCoders::decoder().decode<Session>(document);
      case DocumentForm::wrapped:
        return AuthJSONCoders::decoder().decode<StoredSession>(document).session;
      case DocumentForm::snakeCase:
        return AuthJSONCoders::decoder().decode<Session>(document);
    }
  } catch (const velmoria::base::DecodingError&) {
  }
  return std::nullopt;
}

}  // namespace

std::optional<Session> sessionIn(DocumentForm form, const velmoria::base::Data& document) {
  Remembered& remembered = rememberedFor(form);
  if (const auto held = remembered.find(document)) return **held;
  auto decoded = std::make_shared<const std::optional<Session>>(decodeIn(form, document));
  remembered.remember(document, decoded);
  return *decoded;
}

Session decodeCurrent(const velmoria::base::Data& document) {
  Remembered& remembered = rememberedFor(DocumentForm::current);
  if (const auto held = remembered.find(document); held && **held) return ***held;
  Session session = StoredSessionCoders::decoder().decode<Session>(document);
  remembered.remember(document, std::make_shared<const std::optional<Session>>(session));
  return session;
}

}  // namespace zirudeze::auth::detail
