#pragma once

#include <cerrno>
#include <utility>

#include <unistd.h>

namespace nms {

// Owns one file descriptor and closes it when it goes, so that a function
// that opened a socket or a file may return on any path. The closing keeps
// errno: the reason of a failure that is being reported is not replaced by
// the close's. A write whose success depends on the close uses close().
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept
        : m_fd(fd)
    {
    }
    ~UniqueFd() { reset(); }

    UniqueFd(UniqueFd&& other) noexcept
        : m_fd(other.release())
    {
    }
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return m_fd; }
    bool valid() const noexcept { return m_fd >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(m_fd, -1); }

    // Closes the descriptor held, if any, and holds this one instead.
    void reset(int fd = -1) noexcept
    {
        const int old = std::exchange(m_fd, fd);
        if (old < 0)
            return;
        const int savedErrno = errno;
        ::close(old);
        errno = savedErrno;
    }

    // Closes now and tells whether the close succeeded (errno says why
    // not): for a file written through the descriptor, a failed close can
    // mean lost data.
    bool close() noexcept
    {
        const int fd = release();
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd = -1;
};

} // namespace nms
