// A real HTTP server on 127.0.0.1 (cpp-httplib) for the ranking request tests and the blog
// servers the tests script. It also answers requests sent to it as a proxy (absolute URLs), which
// is how the tests reach it: http_proxy points at it, and the program asks for its real ranking
// URL.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
struct Request;
struct Response;
class Server;
}  // namespace httplib

struct RecordedRequest {
    std::string target;  // path and query as sent (absolute when sent to a proxy)
    std::string path;    // path alone
    std::string userAgent;
    std::string contentType;
    std::string host;
};

class LocalHttpServer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;
    // Which requests reach the handler (any path); any other method is answered 404 by the server.
    enum class Methods { Get, GetAndPost };
    // Listens on 127.0.0.1 at once: a class holding the server declares it after what the
    // handler uses.
    explicit LocalHttpServer(Handler handler, Methods methods = Methods::Get);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    int Port() const { return m_port; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string ProxyUrl() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<RecordedRequest> Requests();

private:
    std::unique_ptr<httplib::Server> m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<RecordedRequest> m_requests;
};

// Points libcurl's proxy setting at a server for the life of the object.
class ProxyEnvironment {
public:
    explicit ProxyEnvironment(const std::string& proxyUrl);
    ~ProxyEnvironment();
};
