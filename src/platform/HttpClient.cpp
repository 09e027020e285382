#include "platform/HttpClient.h"

#include <algorithm>
#include <cctype>

namespace quonvera {

std::optional<std::string> findHeader(const HttpHeaders& headers, std::string_view name) {
    const auto sameName = [&](const std::string& candidate) {
        return std::ranges::equal(candidate, name, [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    };
    for (const auto& [key, value] : headers)
        if (sameName(key)) return value;
    return std::nullopt;
}

}  // namespace quonvera
