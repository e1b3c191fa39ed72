#include "issuereporting/Unimplemented.hpp"

namespace zirudeze::issuereporting::detail {

std::string unimplementedMessage(const std::string& description, const DefinitionSite& site,
                                 const std::string& renderedArguments) {
  std::string text = "Unimplemented";
  if (!description.empty()) text += ": " + description;
  text += " \u2026\n\n  Defined in '";
  text += site.function;
  text += "' at:\n    ";
  text += site.location.fileID;
  text += ":" + std::to_string(site.location.line);
  text += "\n\n  Invoked with:\n    ";
  text += renderedArguments;
  return text;
}

}  // namespace zirudeze::issuereporting::detail
