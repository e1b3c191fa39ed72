#include "helpers/HTTPStatusText.hpp"

#include <cctype>

#include "httptypes/HTTPResponseStatus.hpp"

namespace zirudeze::helpers {

std::string localizedStatusText(int statusCode) {
  if (const auto phrase = http::HTTPResponseStatus::standardReasonPhrase(statusCode)) {
    std::string text(*phrase);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }
  switch (statusCode / 100) {
    case 1:
      return "informational";
    case 2:
      return "success";
    case 3:
      return "redirected";
    case 4:
      return "client error";
    case 5:
      return "server error";
    default:
      return "unknown";
  }
}

}  // namespace zirudeze::helpers
