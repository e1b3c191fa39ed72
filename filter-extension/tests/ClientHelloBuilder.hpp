#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Builds TLS ClientHello records byte by byte, so tests can bend every length field.
namespace velmoria::filter::testing {

using Bytes = std::vector<std::uint8_t>;

inline void putU16(Bytes& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 8));
  out.push_back(static_cast<std::uint8_t>(value));
}

inline void putU24(Bytes& out, std::size_t value) {
  out.push_back(static_cast<std::uint8_t>(value >> 16));
  putU16(out, value & 0xFFFF);
}

// The body of a server_name extension holding the given (type, name) entries.
inline Bytes serverNameBody(const std::vector<std::pair<std::uint8_t, Bytes>>& entries) {
  Bytes list;
  for (const auto& [type, name] : entries) {
    list.push_back(type);
    putU16(list, name.size());
    list.insert(list.end(), name.begin(), name.end());
  }
  Bytes body;
  putU16(body, list.size());
  body.insert(body.end(), list.begin(), list.end());
  return body;
}

inline Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

inline Bytes serverNameBody(const std::string& hostName) { return serverNameBody({{0, bytesOf(hostName)}}); }

struct ClientHelloBuilder {
  std::uint8_t recordType = 22;
  std::uint8_t handshakeType = 1;
  Bytes sessionId = Bytes(32, 0xAB);
  std::vector<std::uint16_t> cipherSuites{0x1301, 0x1302, 0x1303, 0xC02B};
  Bytes compressionMethods{0};
  std::vector<std::pair<std::uint16_t, Bytes>> extensions;
  std::optional<std::size_t> extensionsLengthOverride;

  ClientHelloBuilder& extension(std::uint16_t type, Bytes body) {
    extensions.emplace_back(type, std::move(body));
    return *this;
  }
  ClientHelloBuilder& serverName(const std::string& host) { return extension(0, serverNameBody(host)); }

  Bytes build() const {
    Bytes hello;
    putU16(hello, 0x0303);
    hello.insert(hello.end(), 32, 0x5A);  // random
    hello.push_back(static_cast<std::uint8_t>(sessionId.size()));
    hello.insert(hello.end(), sessionId.begin(), sessionId.end());
    putU16(hello, cipherSuites.size() * 2);
    for (const auto suite : cipherSuites) putU16(hello, suite);
    hello.push_back(static_cast<std::uint8_t>(compressionMethods.size()));
    hello.insert(hello.end(), compressionMethods.begin(), compressionMethods.end());
    Bytes extensionBytes;
    for (const auto& [type, body] : extensions) {
      putU16(extensionBytes, type);
      putU16(extensionBytes, body.size());
      extensionBytes.insert(extensionBytes.end(), body.begin(), body.end());
    }
    putU16(hello, extensionsLengthOverride.value_or(extensionBytes.size()));
    hello.insert(hello.end(), extensionBytes.begin(), extensionBytes.end());

    Bytes record{recordType, 0x03, 0x01};
    putU16(record, hello.size() + 4);
    record.push_back(handshakeType);
    putU24(record, hello.size());
    record.insert(record.end(), hello.begin(), hello.end());
    return record;
  }
};

}  // namespace velmoria::filter::testing
