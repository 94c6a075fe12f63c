#pragma once

#include <cstddef>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/types.h>

namespace nms {

// One recvmsg() into the caller's buffer, with the sender's address and room
// for the control data that comes with it (the kernel's receive stamp, its
// drop counter, a queued ICMP error). Plain C++, for the ICMP helper too.
// It points into itself: one per read, never copied.
class ReceivedMessage {
public:
    ReceivedMessage() = default;
    ReceivedMessage(const ReceivedMessage&) = delete;
    ReceivedMessage& operator=(const ReceivedMessage&) = delete;

    // recvmsg()'s result: the length read, or -1 with errno set.
    ssize_t read(int fd, char* data, std::size_t size, int flags)
    {
        m_part = {data, size};
        m_header = {};
        m_header.msg_name = &m_from;
        m_header.msg_namelen = sizeof m_from;
        m_header.msg_iov = &m_part;
        m_header.msg_iovlen = 1;
        m_header.msg_control = m_control;
        m_header.msg_controllen = sizeof m_control;
        return ::recvmsg(fd, &m_header, flags);
    }

    msghdr& header() { return m_header; }
    const sockaddr_in& from() const { return m_from; }
    bool truncated() const { return (m_header.msg_flags & MSG_TRUNC) != 0; }

private:
    sockaddr_in m_from{};
    iovec m_part{};
    msghdr m_header{};
    alignas(cmsghdr) char m_control[512];
};

} // namespace nms
