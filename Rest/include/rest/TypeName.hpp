#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <typeinfo>
#include <vector>

namespace zirudeze::rest::detail {
// The demangled name with every namespace and class qualifier dropped.
std::string unqualifiedName(const std::type_info& type);
}  // namespace zirudeze::rest::detail

namespace zirudeze::rest {

// A short readable name of a type for log lines: "vector<SessionModel>", "optional<string>".
template <class T>
struct TypeName {
  static std::string get() { return detail::unqualifiedName(typeid(T)); }
};
template <>
struct TypeName<std::string> {
  static std::string get() { return "string"; }
};
template <class T>
struct TypeName<std::vector<T>> {
  static std::string get() { return "vector<" + TypeName<T>::get() + ">"; }
};
template <class T>
struct TypeName<std::optional<T>> {
  static std::string get() { return "optional<" + TypeName<T>::get() + ">"; }
};
template <class K, class V>
struct TypeName<std::map<K, V>> {
  static std::string get() { return "map<" + TypeName<K>::get() + ", " + TypeName<V>::get() + ">"; }
};

template <class T>
std::string unqualifiedTypeName() {
  return TypeName<T>::get();
}

}  // namespace zirudeze::rest
