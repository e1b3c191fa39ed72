#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/Coding.hpp"
#include "rest/RestBuilder.hpp"
#include "rest/RestFilterBuilder.hpp"

namespace zirudeze::rest {

struct SelectOptions {
  // HEAD instead of GET: the count without the rows.
  bool head = false;
  std::optional<CountOption> count{};
};

struct InsertOptions {
  // Absent: no "return=" entry, so the service answers as it does by default.
  std::optional<RestReturningOptions> returning{};
  std::optional<CountOption> count{};
};

struct UpsertOptions {
  // The unique columns that decide a conflict ("on_conflict"); absent: the primary key.
  std::optional<std::string> onConflict{};
  RestReturningOptions returning = RestReturningOptions::representation;
  std::optional<CountOption> count{};
  // Keep the existing row instead of merging the new values into it.
  bool ignoreDuplicates = false;
};

struct WriteOptions {
  RestReturningOptions returning = RestReturningOptions::representation;
  std::optional<CountOption> count{};
};

// The statement on one table: read, insert, upsert, update or delete. Each shapes this builder's
// request and returns a filter builder over a copy of it, so one query builder may start several
// statements. Values are encoded with the configuration's encoder; an encoding error is thrown
// before anything changes.
class RestQueryBuilder : public RestBuilder {
 public:
  using RestBuilder::RestBuilder;

  RestQueryBuilder& setHeader(std::string_view name, std::string_view value) {
    RestBuilder::setHeader(name, value);
    return *this;
  }

  RestFilterBuilder select(std::string_view columns = "*", const SelectOptions& options = {});

  template <class Values>
  RestFilterBuilder insert(const Values& values, const InsertOptions& options = {}) {
    return write(Statement::insert, encoded(values), options.returning, options.count, std::nullopt, false);
  }
  template <class Values>
  RestFilterBuilder upsert(const Values& values, const UpsertOptions& options = {}) {
    return write(Statement::upsert, encoded(values), options.returning, options.count, options.onConflict,
                 options.ignoreDuplicates);
  }
  template <class Values>
  RestFilterBuilder update(const Values& values, const WriteOptions& options = {}) {
    return write(Statement::update, encoded(values), options.returning, options.count, std::nullopt, false);
  }
  RestFilterBuilder delete_(const WriteOptions& options = {});

 private:
  enum class Statement { insert, upsert, update, remove };

  template <class Values>
  velmoria::base::Json encoded(const Values& values) const {
    return configuration().encoder.encodeToJson(values);
  }
  RestFilterBuilder write(Statement statement, const std::optional<velmoria::base::Json>& values,
                          std::optional<RestReturningOptions> returning, std::optional<CountOption> count,
                          const std::optional<std::string>& onConflict, bool ignoreDuplicates);
  RestFilterBuilder filterBuilder();
};

}  // namespace zirudeze::rest
