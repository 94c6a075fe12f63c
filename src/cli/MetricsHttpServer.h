#pragma once

#include <mutex>

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include "cli/ProcessMetrics.h"

struct MHD_Daemon;
struct MHD_Connection;

namespace nms::cli {

// The exporter's HTTP side, on GNU libmicrohttpd: GET or HEAD of /metrics
// serves the last published page with the process figures; / a short page
// linking to it; any other path 404, any other method 405. It answers on a
// thread of its own from memory, so a scrape never waits on the polls, and
// it bounds every connection: its request size, its idle time, and the
// number of connections at once. Nothing here reaches an element.
class MetricsHttpServer {
public:
    static constexpr unsigned kRequestBytes = 16 * 1024;
    static constexpr unsigned kIdleSeconds = 10;
    static constexpr unsigned kMaxConnections = 4000;

    MetricsHttpServer() = default;
    ~MetricsHttpServer();
    MetricsHttpServer(const MetricsHttpServer&) = delete;
    MetricsHttpServer& operator=(const MetricsHttpServer&) = delete;

    // A null address listens on every address (IPv6 and IPv4). Returns why
    // it cannot listen, or an empty text.
    QString listen(const QHostAddress& address, quint16 port);
    void publish(const QByteArray& page);

    // Called by the server's thread for each request.
    static int answerRequest(void* server, MHD_Connection* connection, const char* url,
                             const char* method);

private:
    struct Reply;
    Reply reply(const char* url, const char* method) const;

    MHD_Daemon* m_daemon = nullptr;
    ProcessMetrics m_process;
    mutable std::mutex m_pageMutex;
    QByteArray m_page;
};

} // namespace nms::cli
