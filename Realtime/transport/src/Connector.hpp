#pragma once

#include <functional>
#include <memory>
#include <string>

#include "realtime/transport/Connection.hpp"

namespace zirudeze::realtime::transport::detail {

// Where a URL points, as the connection steps need it.
struct Endpoint {
  bool secure = false;
  std::string host;        // for resolving, TLS names and verification (no brackets)
  bool ipLiteral = false;  // an address, not a name: no SNI, verified as an address
  std::string port;
  std::string hostField;  // the Host field: the host as written, with a port that is not the default
  std::string target;     // path and query
};

using Completion = std::function<void(ConnectOutcome)>;

// One attempt over plain TCP or over TLS. Each stack of Beast templates is instantiated in a file of its
// own (ConnectPlain.cpp, ConnectSecure.cpp), so the two compile side by side.
std::shared_ptr<PendingConnect> launchPlain(HandshakeRequest request, Endpoint endpoint, Completion completion);
std::shared_ptr<PendingConnect> launchSecure(HandshakeRequest request, Endpoint endpoint, Completion completion);

}  // namespace zirudeze::realtime::transport::detail
