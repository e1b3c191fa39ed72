#include "testfailureoverlay/RuntimeLookup.hpp"

namespace zirudeze::testfailureoverlay {

namespace {

class AbsentRuntime final : public RuntimeLookup {
 public:
  Object classNamed(const char*) const override { return nullptr; }
  Object send(const Object&, const char*) const override { return nullptr; }
  void setBlock(const Object&, IssueMatcherBlock, const char*) const override {}
  std::optional<std::int64_t> integerForKey(const Object&, const char*) const override { return std::nullopt; }
  std::optional<std::string> textForKey(const Object&, const char*) const override { return std::nullopt; }
  std::vector<Object> elements(const Object&) const override { return {}; }
  std::string classNameOf(const Object&) const override { return {}; }
  // The C functions, even if some library exported these names, would expect objects of a run time
  // that does not exist here; they are never called.
  ExpectFailureInBlock expectFailureInBlock(const char*) const override { return {}; }
  ExpectFailure expectFailure(const char*) const override { return {}; }
};

}  // namespace

const RuntimeLookup& platformRuntime() {
  static const AbsentRuntime runtime;
  return runtime;
}

}  // namespace zirudeze::testfailureoverlay
