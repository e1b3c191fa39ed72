#include <array>

#include "CodingSupport.hpp"
#include "PseudoHeaderNames.hpp"
#include "httptypes/HTTPRequest.hpp"
#include "httptypes/TokenCharacters.hpp"

namespace zirudeze::http {

void HTTPRequest::encode(velmoria::base::Encoder& encoder) const {
  auto container = encoder.container();
  {
    velmoria::base::Encoder nested = container.nestedEncoder("pseudoHeaderFields");
    auto array = nested.unkeyedContainer();
    array.encode(pseudoHeaderFields_.method());
    for (const auto* field : {&pseudoHeaderFields_.scheme(), &pseudoHeaderFields_.authority(),
                              &pseudoHeaderFields_.path(), &pseudoHeaderFields_.extendedConnectProtocol()}) {
      if (*field) array.encode(**field);
    }
  }
  container.encode("headerFields", headerFields_);
}

HTTPRequest HTTPRequest::decode(const velmoria::base::Decoder& decoder) {
  const auto container = decoder.container();
  const velmoria::base::Decoder pseudoDecoder = container.nestedDecoder("pseudoHeaderFields");
  auto array = pseudoDecoder.unkeyedContainer();

  struct Slot {
    const HTTPFieldName& name;
    std::optional<HTTPField> field;
  };
  std::array<Slot, 5> slots{{{detail::methodPseudoName(), {}},
                             {detail::schemePseudoName(), {}},
                             {detail::authorityPseudoName(), {}},
                             {detail::pathPseudoName(), {}},
                             {detail::protocolPseudoName(), {}}}};
  while (!array.isAtEnd()) {
    HTTPField field = array.decode<HTTPField>();
    Slot* slot = nullptr;
    for (auto& candidate : slots) {
      if (field.name() == candidate.name) slot = &candidate;
    }
    if (slot != nullptr) {
      if (slot->field) {
        throw detail::corruptedIn(pseudoDecoder, array,
                                  "Multiple \"" + slot->name.rawName() + "\" pseudo header fields");
      }
      slot->field = std::move(field);
    } else if (!field.name().isPseudo()) {
      throw detail::corruptedIn(pseudoDecoder, array, "\"" + field.description() + "\" is not a pseudo header field");
    }
    // Other pseudo names (such as ":status") are skipped.
  }
  if (!slots[0].field) {
    throw detail::corruptedIn(pseudoDecoder, array, "\":method\" pseudo header field is missing");
  }
  const std::string& method = slots[0].field->rawValue().bytes();
  if (method.empty() || !hasOnlyTokenCharacters(method)) {
    throw detail::corruptedIn(pseudoDecoder, array, "\"" + slots[0].field->value() + "\" is not a valid method");
  }

  PseudoHeaderFields pseudo(std::move(*slots[0].field));
  pseudo.setScheme(std::move(slots[1].field));
  pseudo.setAuthority(std::move(slots[2].field));
  pseudo.setPath(std::move(slots[3].field));
  pseudo.setExtendedConnectProtocol(std::move(slots[4].field));
  return HTTPRequest(std::move(pseudo), container.decode<HTTPFields>("headerFields"));
}

}  // namespace zirudeze::http
