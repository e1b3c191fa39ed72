#include "httptypes/TokenCharacters.hpp"

#include <array>
#include <string_view>

namespace zirudeze::http {
namespace {

constexpr std::array<bool, 256> makeTokenTable() {
  std::array<bool, 256> table{};
  for (unsigned c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (unsigned c = 'a'; c <= 'z'; ++c) table[c] = true;
  for (unsigned c = '0'; c <= '9'; ++c) table[c] = true;
  for (const char c : std::string_view("!#$%&'*+-.^_`|~")) table[static_cast<unsigned char>(c)] = true;
  return table;
}

constexpr std::array<bool, 256> kTokenTable = makeTokenTable();

}  // namespace

bool isTokenCharacter(unsigned char byte) noexcept { return kTokenTable[byte]; }

bool hasOnlyTokenCharacters(std::string_view text) noexcept {
  for (const char c : text) {
    if (!kTokenTable[static_cast<unsigned char>(c)]) return false;
  }
  return true;
}

}  // namespace zirudeze::http
