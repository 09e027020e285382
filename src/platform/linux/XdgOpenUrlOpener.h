#pragma once

#include "platform/UrlOpener.h"

namespace quonvera {

// Runs `xdg-open URL` detached.
class XdgOpenUrlOpener final : public UrlOpener {
public:
    void open(const std::string& url) override;
};

}  // namespace quonvera
