#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string_view>

#include "base/Coding.hpp"
#include "base/Data.hpp"
#include "helpers/URLResponse.hpp"

namespace zirudeze::rest {

// The total after the last "/" of a "Content-Range" value; nothing for "*", an empty total or text
// that is not a decimal integer.
std::optional<std::int64_t> countFromContentRange(std::string_view value);
// The same from the response's "Content-Range" header, which may be absent.
std::optional<std::int64_t> countFromResponse(const helpers::HTTPURLResponse& response);

// The error a failed answer becomes: the service's RestError when the body decodes as one, else an
// HTTPError carrying the body and the response.
std::exception_ptr errorForFailedAnswer(const velmoria::base::Data& body, const helpers::HTTPURLResponse& response,
                                        const velmoria::base::JSONDecoder& decoder);

// 200 through 299.
constexpr bool isSuccessStatus(int status) noexcept { return status >= 200 && status <= 299; }

}  // namespace zirudeze::rest
