#include "cli/MetricsHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>

#include <microhttpd.h>

namespace nms::cli {

namespace {

const char* const kMetricsType = "text/plain; version=0.0.4; charset=utf-8";
const char* const kHtmlType = "text/html; charset=utf-8";
const char* const kTextType = "text/plain; charset=utf-8";
const QByteArray kIndexPage = QByteArrayLiteral(
    "<!DOCTYPE html>\n<html><head><title>Veltrino NMS exporter</title></head>\n"
    "<body><h1>Veltrino NMS exporter</h1>\n<p><a href=\"/metrics\">Metrics</a></p>\n"
    "</body></html>\n");

MHD_Result accessHandler(void* server, MHD_Connection* connection, const char* url,
                         const char* method, const char* /*version*/, const char* /*upload*/,
                         size_t* uploadSize, void** context)
{
    // The first call brings the headers; the answer goes with the last, so
    // that the connection can be kept for the next scrape. A body is never
    // wanted, and what comes of one is passed over.
    static int headersSeen = 0;
    if (*context == nullptr) {
        *context = &headersSeen;
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        *uploadSize = 0;
        return MHD_YES;
    }
    return MHD_Result(MetricsHttpServer::answerRequest(server, connection, url, method));
}

} // namespace

struct MetricsHttpServer::Reply {
    unsigned status = MHD_HTTP_OK;
    const char* type = kTextType;
    QByteArray body;
};

MetricsHttpServer::~MetricsHttpServer()
{
    if (m_daemon != nullptr)
        MHD_stop_daemon(m_daemon);
}

QString MetricsHttpServer::listen(const QHostAddress& address, quint16 port)
{
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* bindAddress = nullptr;
    if (address.isNull()) {
        flags |= MHD_USE_DUAL_STACK;
    } else if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(port);
        v4.sin_addr.s_addr = htonl(address.toIPv4Address());
        bindAddress = reinterpret_cast<const sockaddr*>(&v4);
    } else {
        flags |= MHD_USE_IPv6;
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&v6.sin6_addr, &bytes, sizeof bytes);
        bindAddress = reinterpret_cast<const sockaddr*>(&v6);
    }
    errno = 0;
    // The bind address, when there is one, rides in an option array so that
    // the call stays one call either way.
    MHD_OptionItem addressOptions[] = {
        {bindAddress != nullptr ? MHD_OPTION_SOCK_ADDR : MHD_OPTION_END, 0,
         const_cast<sockaddr*>(bindAddress)},
        {MHD_OPTION_END, 0, nullptr}};
    m_daemon = MHD_start_daemon(
        flags, port, nullptr, nullptr, &accessHandler, this, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        size_t(kRequestBytes), MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_CONNECTION_LIMIT, kMaxConnections, MHD_OPTION_LISTEN_BACKLOG_SIZE, 1024U,
        MHD_OPTION_ARRAY, addressOptions, MHD_OPTION_END);
    if (m_daemon == nullptr)
        return errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                          : QStringLiteral("the HTTP server did not start");
    return QString();
}

void MetricsHttpServer::publish(const QByteArray& page)
{
    const std::lock_guard<std::mutex> lock(m_pageMutex);
    m_page = page;
}

MetricsHttpServer::Reply MetricsHttpServer::reply(const char* url, const char* method) const
{
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
        std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0)
        return {MHD_HTTP_METHOD_NOT_ALLOWED, kTextType, "Only GET and HEAD are served.\n"};
    if (std::strcmp(url, "/metrics") == 0) {
        QByteArray page;
        {
            const std::lock_guard<std::mutex> lock(m_pageMutex);
            page = m_page;
        }
        page += QByteArray::fromStdString(m_process.render());
        return {MHD_HTTP_OK, kMetricsType, page};
    }
    if (std::strcmp(url, "/") == 0)
        return {MHD_HTTP_OK, kHtmlType, kIndexPage};
    return {MHD_HTTP_NOT_FOUND, kTextType, "Not found; the metrics are at /metrics.\n"};
}

int MetricsHttpServer::answerRequest(void* server, MHD_Connection* connection, const char* url,
                                     const char* method)
{
    const Reply reply = static_cast<const MetricsHttpServer*>(server)->reply(url, method);
    MHD_Response* response = MHD_create_response_from_buffer(
        size_t(reply.body.size()), const_cast<char*>(reply.body.constData()),
        MHD_RESPMEM_MUST_COPY);
    if (response == nullptr)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.type);
    if (reply.status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result queued = MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    return queued;
}

} // namespace nms::cli
