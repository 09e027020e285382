#include "core/AtomicFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace quonvera {
namespace {

std::string errnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::optional<std::string> writeFileAtomically(const std::filesystem::path& path, std::string_view contents,
                                               mode_t mode) {
    const auto folder = path.parent_path().empty() ? std::filesystem::path(".") : path.parent_path();
    std::string name = ".";
    name += path.filename().string();
    name += ".XXXXXX";
    std::string pattern = (folder / name).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return errnoText("cannot create a temporary file in " + folder.string());
    auto fail = [&](const std::string& what) {
        std::string text = errnoText(what);
        ::close(fd);
        ::unlink(pattern.c_str());
        return text;
    };
    if (::fchmod(fd, mode) != 0) return fail("cannot set the mode of " + pattern);
    if (!writeAll(fd, contents)) return fail("cannot write " + pattern);
    if (::fsync(fd) != 0) return fail("cannot flush " + pattern);
    if (::close(fd) != 0) {
        std::string text = errnoText("cannot close " + pattern);
        ::unlink(pattern.c_str());
        return text;
    }
    if (::rename(pattern.c_str(), path.c_str()) != 0) {
        std::string text = errnoText("cannot rename " + pattern + " to " + path.string());
        ::unlink(pattern.c_str());
        return text;
    }
    // Make the rename itself durable.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return std::nullopt;
}

std::optional<std::string> readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return buffer.str();
}

}  // namespace quonvera
