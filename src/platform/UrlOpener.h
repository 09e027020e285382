#pragma once

#include <string>

namespace quonvera {

// Opens a URL (a web page or a file://... page) with the desktop's preferred application.
// Whether that succeeds is not reported.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const std::string& url) = 0;
};

}  // namespace quonvera
