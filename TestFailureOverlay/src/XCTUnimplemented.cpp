#include "testfailureoverlay/XCTUnimplemented.hpp"

#include "issuereporting/DebugRender.hpp"
#include "issuereporting/FatalErrorReporter.hpp"

// Issue reporting's names are this library's own.
namespace zirudeze::testfailureoverlay {
using namespace ::zirudeze::issuereporting;
}  // namespace zirudeze::testfailureoverlay

namespace zirudeze::testfailureoverlay::detail {

void placeholderMissing(const std::string& description, const DefinitionSite& site) {
  std::string text = "unimplemented(";
  if (!description.empty()) text += quotedText(description);
  text += ")\n\nTo suppress this crash, provide an explicit \"placeholder\".";
  fatalError(text, site.location.filePath, site.location.line);
}

DefinitionSite overlayDefinitionSite() {
  return DefinitionSite{SourceLocation{"TestFailureOverlay/Deprecations", __FILE__, __LINE__, 1},
                        "XCTUnimplemented(_:)"};
}

}  // namespace zirudeze::testfailureoverlay::detail
