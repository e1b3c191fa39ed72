#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "rest/RestBuilder.hpp"

namespace zirudeze::rest {

// The flags and format of a query plan request.
struct ExplainOptions {
  bool analyze = false;
  bool verbose = false;
  bool settings = false;
  bool buffers = false;
  bool wal = false;
  std::string format = "text";
};

// Where an order applies and how nulls sort; the defaults order the main table, nulls last.
struct OrderOptions {
  bool ascending = true;
  bool nullsFirst = false;
  std::optional<std::string> referencedTable{};
};

// The edits of the transform operations, shared by every builder that offers them.
class RestTransformEdits : public RestBuilder {
 public:
  using RestBuilder::RestBuilder;

 protected:
  void applySelect(std::string_view columns);
  void applyOrder(std::string_view column, const OrderOptions& options);
  void applyLimit(std::int64_t count, const std::optional<std::string>& referencedTable);
  void applyRange(std::int64_t from, std::int64_t to, const std::optional<std::string>& referencedTable);
  void applyAccept(std::string_view mediaType);
  void applyExplain(const ExplainOptions& options);
  void applyMaxAffected(std::int64_t count);
  void applyHeader(std::string_view name, std::string_view value) { RestBuilder::setHeader(name, value); }
};

}  // namespace zirudeze::rest

namespace zirudeze::rest::detail {

// The transform operations, each returning the most derived builder so chains keep their type.
template <class Self, class Base>
class TransformOperations : public Base {
 public:
  using Base::Base;

  Self& setHeader(std::string_view name, std::string_view value) {
    this->applyHeader(name, value);
    return self();
  }
  // Columns to return (white space outside double quotes dropped); asks for the written rows back.
  Self& select(std::string_view columns = "*") {
    this->applySelect(columns);
    return self();
  }
  // Appends "<column>.asc|desc.nullsfirst|nullslast" to the order item, in place.
  Self& order(std::string_view column, const OrderOptions& options = {}) {
    this->applyOrder(column, options);
    return self();
  }
  Self& limit(std::int64_t count, const std::optional<std::string>& referencedTable = std::nullopt) {
    this->applyLimit(count, referencedTable);
    return self();
  }
  // Rows from...to, both included. Bounds whose span does not fit 64 bits are kept as the error.
  Self& range(std::int64_t from, std::int64_t to, const std::optional<std::string>& referencedTable = std::nullopt) {
    this->applyRange(from, to, referencedTable);
    return self();
  }
  // One object instead of an array.
  Self& single() {
    this->applyAccept("application/vnd.pgrst.object+json");
    return self();
  }
  Self& csv() {
    this->applyAccept("text/csv");
    return self();
  }
  Self& geojson() {
    this->applyAccept("application/geo+json");
    return self();
  }
  // The query plan instead of the rows.
  Self& explain(const ExplainOptions& options = {}) {
    this->applyExplain(options);
    return self();
  }
  // Fails the write on the service when it would touch more rows.
  Self& maxAffected(std::int64_t count) {
    this->applyMaxAffected(count);
    return self();
  }

 private:
  Self& self() { return static_cast<Self&>(*this); }
};

}  // namespace zirudeze::rest::detail

namespace zirudeze::rest {

// Shapes the result of a request: columns, order, limits, response format.
class RestTransformBuilder : public detail::TransformOperations<RestTransformBuilder, RestTransformEdits> {
 public:
  using TransformOperations::TransformOperations;
};

}  // namespace zirudeze::rest
