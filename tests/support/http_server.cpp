#include "http_server.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cstdlib>

LocalHttpServer::LocalHttpServer(Handler handler, Methods methods)
    : m_server(std::make_unique<httplib::Server>()) {
    const auto serve = [this, handler](const httplib::Request& request,
                                       httplib::Response& response) {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(
                {request.target, request.path, request.get_header_value("User-Agent"),
                 request.get_header_value("Content-Type"), request.get_header_value("Host")});
        }
        handler(request, response);
    };
    m_server->Get(".*", serve);
    if (methods == Methods::GetAndPost) m_server->Post(".*", serve);
    m_port = m_server->bind_to_any_port("127.0.0.1");
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    // It listens within moments; a server that never does fails the test instead of hanging it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!m_server->is_running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!m_server->is_running())
        ADD_FAILURE() << "the test HTTP server on 127.0.0.1:" << m_port << " did not start";
}

LocalHttpServer::~LocalHttpServer() {
    m_server->stop();
    m_thread.join();
}

std::vector<RecordedRequest> LocalHttpServer::Requests() {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

ProxyEnvironment::ProxyEnvironment(const std::string& proxyUrl) {
    setenv("http_proxy", proxyUrl.c_str(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
}

ProxyEnvironment::~ProxyEnvironment() { unsetenv("http_proxy"); }
