#include "services/ServiceUrl.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace quonvera {
namespace {

std::string lowercase(std::string_view text) {
    std::string result(text);
    std::ranges::transform(result, result.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool isAllDigits(std::string_view text) {
    return std::ranges::all_of(text, [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

std::string serviceBaseUrl() { return resolveServiceBaseUrl(std::getenv("QUONVERA_SERVICE_URL")); }

std::string resolveServiceBaseUrl(const char* environmentValue) {
    std::string url = environmentValue && *environmentValue ? environmentValue : QUONVERA_DEFAULT_SERVICE_URL;
    while (url.ends_with('/')) url.pop_back();
    return url;
}

bool isPermittedServiceUrl(std::string_view url) {
    if (std::ranges::any_of(url, [](unsigned char c) { return c <= 0x20 || c == 0x7f || c == '\\'; })) return false;
    const auto schemeEnd = url.find("://");
    if (schemeEnd == std::string_view::npos) return false;
    const std::string scheme = lowercase(url.substr(0, schemeEnd));
    if (scheme != "https" && scheme != "http") return false;

    const std::string_view rest = url.substr(schemeEnd + 3);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (authority.find('@') != std::string_view::npos) return false;

    std::string_view host;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return false;
        host = authority.substr(0, close + 1);
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) return false;
        if (!after.empty()) port = after.substr(1);
    } else {
        const auto colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
    }
    if (host.empty() || !isAllDigits(port)) return false;
    if (scheme == "https") return true;
    const std::string name = lowercase(host);
    return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
}

}  // namespace quonvera
