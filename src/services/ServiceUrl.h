#pragma once

#include <string>
#include <string_view>

namespace quonvera {

// The base URL of the Quonvera cloud service: the environment variable QUONVERA_SERVICE_URL
// when it is set and not empty, otherwise the URL the build was configured with.
std::string serviceBaseUrl();

// The same choice for a given environment value (null when the variable is not set). Trailing
// slashes are dropped so that endpoint paths can be appended.
std::string resolveServiceBaseUrl(const char* environmentValue);

// Whether voice recordings and transcripts may be sent to `url`: an https URL, or plain http
// to this machine only (127.0.0.1, ::1, localhost). URLs with user information, spaces or
// control characters are refused as well.
bool isPermittedServiceUrl(std::string_view url);

}  // namespace quonvera
