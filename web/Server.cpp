// The HTTP and WebSocket server (Boost.Beast), in this one translation unit: Beast compiles
// slowly, and nothing else of the program needs it.
#include "web/Server.h"

#include "web/Assets.h"
#include "web/Control.h"
#include "web/WebApp.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

namespace web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

using TClock = TControl::TClock;

std::string Field(const http::request_header<>& header, http::field field) {
    const auto found = header.find(field);
    return found == header.end() ? std::string() : std::string(found->value());
}

} // namespace

class TServer::TImpl {
public:
    class THttp;
    class TSocket;

    TImpl(std::string address, std::uint16_t port, TAccessConfig access, TServerEvents events)
        : Address(std::move(address)), PortAsked(port), Access(std::move(access)),
          Events(std::move(events)), Acceptor(Io), Expiry(Io) {}
    ~TImpl() { Stop(); }

    bool Start(std::string& error);
    void Stop();
    void Accept();
    void WatchDriver();
    void Deliver(int page, const std::shared_ptr<const std::string>& text);
    void BroadcastControl();
    void SendControl(TSocket& socket);

    std::string Address;
    std::uint16_t PortAsked;
    std::atomic<std::uint16_t> PortBound{0};
    TAccessConfig Access;
    TServerEvents Events;
    // On the server's thread only; before the io_context, whose end ends the connections
    // that count themselves here.
    int Connections = 0;
    int NextPage = 0;
    TControl Control;
    std::map<int, std::weak_ptr<TSocket>> Sockets;
    asio::io_context Io;
    tcp::acceptor Acceptor;
    asio::steady_timer Expiry;
    std::thread Thread;
};

// One WebSocket: a page.
class TServer::TImpl::TSocket : public std::enable_shared_from_this<TSocket> {
public:
    TSocket(TImpl& server, tcp::socket socket, TRole role)
        : mServer(server), mStream(std::move(socket)), mRole(role) {
        ++mServer.Connections;
    }
    ~TSocket() { --mServer.Connections; }

    void Run(http::request<http::empty_body> request) {
        mStream.read_message_max(MaxCommand);
        mStream.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        mStream.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (!error)
                self->Opened();
        });
    }

    void Write(std::shared_ptr<const std::string> text) {
        mQueue.push_back(std::move(text));
        if (mQueue.size() == 1)
            WriteNext();
    }

    int Page() const { return mPage; }

private:
    void Opened() {
        mPage = ++mServer.NextPage;
        mServer.Sockets[mPage] = weak_from_this();
        mServer.Control.Opened(mPage, mRole, TClock::now());
        mServer.Events.Opened(mPage);
        mServer.BroadcastControl();
        Read();
    }

    void Read() {
        mStream.async_read(mBuffer,
                           [self = shared_from_this()](beast::error_code error, std::size_t) {
                               if (error) {
                                   self->Closed();
                                   return;
                               }
                               self->Received(beast::buffers_to_string(self->mBuffer.data()));
                               self->mBuffer.consume(self->mBuffer.size());
                               self->Read();
                           });
    }

    void Received(const std::string& text) {
        TImpl& server = mServer;
        server.Control.Seen(mPage, TClock::now());
        std::string error;
        const auto command = ParseCommand(text, error);
        if (!command) {
            Refuse(error);
            return;
        }
        if (command->Kind == TCommand::TKind::Ping)
            return;
        if (command->Kind == TCommand::TKind::TakeOver) {
            if (!server.Control.TakeOver(mPage, TClock::now()))
                Refuse("this page may only watch");
            server.BroadcastControl();
            return;
        }
        // A watching page may change its own view (the monitor's rows, the rack view) and
        // nothing else.
        if (!server.Control.Drives(mPage) && !ForWatchers(*command)) {
            Refuse("another page drives; this one watches");
            return;
        }
        server.Events.Command(mPage, *command);
    }

    void Refuse(const std::string& reason) {
        Write(std::make_shared<const std::string>(
            nlohmann::json{{"type", "refused"}, {"reason", reason}}.dump()));
    }

    void Closed() {
        if (mPage == 0)
            return;
        mServer.Sockets.erase(mPage);
        mServer.Control.Closed(mPage);
        if (mServer.Events.Closed)
            mServer.Events.Closed(mPage);
        mServer.BroadcastControl();
        mPage = 0;
    }

    void WriteNext() {
        mStream.text(true);
        mStream.async_write(asio::buffer(*mQueue.front()),
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                                self->mQueue.pop_front();
                                if (!error && !self->mQueue.empty())
                                    self->WriteNext();
                            });
    }

    TImpl& mServer;
    websocket::stream<beast::tcp_stream> mStream;
    TRole mRole;
    int mPage = 0;
    beast::flat_buffer mBuffer;
    std::deque<std::shared_ptr<const std::string>> mQueue;
};

// One HTTP connection: the access rules, then the page's files or the WebSocket.
class TServer::TImpl::THttp : public std::enable_shared_from_this<THttp> {
public:
    THttp(TImpl& server, tcp::socket socket) : mServer(server), mStream(std::move(socket)) {
        ++mServer.Connections;
    }
    ~THttp() { --mServer.Connections; }

    void Run() {
        // Beyond the most connections at once: refused at once, and closed.
        if (mServer.Connections > MaxConnections) {
            Respond(http::status::service_unavailable, "too many connections\n", false);
            return;
        }
        ReadHeader();
    }

private:
    void ReadHeader() {
        mParser.emplace();
        mParser->header_limit(8 * 1024);
        mStream.expires_after(std::chrono::seconds(30));
        http::async_read_header(mStream, mBuffer, *mParser,
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (error == http::error::header_limit)
                                        self->Respond(http::status::request_header_fields_too_large,
                                                      "header too large\n", false);
                                    else if (!error)
                                        self->Handle();
                                });
    }

    void Handle() {
        const auto& header = mParser->get();
        TRequest request;
        request.Method = std::string(header.method_string());
        request.Target = std::string(header.target());
        request.Host = Field(header, http::field::host);
        request.Origin = Field(header, http::field::origin);
        request.Cookie = Field(header, http::field::cookie);
        request.ContentType = Field(header, http::field::content_type);
        request.ContentLength = mParser->content_length().value_or(0);
        if (mParser->chunked())
            request.ContentLength = MaxBody + 1; // a body of no known length is none we take
        request.Upgrade = websocket::is_upgrade(header);
        const TDecision decision = Check(request, mServer.Access);
        if (decision.Refused()) {
            Respond(static_cast<http::status>(decision.Status),
                    std::string(http::obsolete_reason(static_cast<http::status>(decision.Status))) +
                        "\n",
                    false);
            return;
        }
        if (request.Upgrade) {
            if (decision.Path != "/ws") {
                Respond(http::status::not_found, "not found\n", false);
                return;
            }
            mStream.expires_never();
            http::request<http::empty_body> upgrade = mParser->release();
            std::make_shared<TSocket>(mServer, mStream.release_socket(), decision.Role)
                ->Run(std::move(upgrade));
            return;
        }
        if (decision.Path.rfind("/download/", 0) == 0 && mServer.Events.Download) {
            const std::size_t question = request.Target.find('?');
            Download(decision.Path.substr(10),
                     question == std::string::npos ? std::string()
                                                   : request.Target.substr(question + 1),
                     request.Method == "HEAD", header.version(), header.keep_alive());
            return;
        }
        const TAsset* asset = FindAsset(decision.Path);
        if (!asset) {
            Respond(http::status::not_found, "not found\n", header.keep_alive());
            return;
        }
        auto response =
            std::make_shared<http::response<http::string_body>>(http::status::ok, header.version());
        response->set(http::field::content_type, asset->Type);
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        response->set("Content-Security-Policy",
                      "default-src 'self'; connect-src 'self'; img-src 'self' data:; "
                      "frame-ancestors 'none'");
        response->set("Referrer-Policy", "no-referrer");
        if (!decision.SetCookie.empty())
            response->set(http::field::set_cookie, decision.SetCookie);
        if (request.Method != "HEAD")
            response->body() = std::string(asset->Bytes);
        response->prepare_payload();
        if (request.Method == "HEAD")
            response->content_length(asset->Bytes.size());
        response->keep_alive(header.keep_alive());
        Send(response);
    }

    // The file comes from the bus's thread and is sent on the server's.
    void Download(std::string name, std::string query, bool head, unsigned version,
                  bool keepAlive) {
        mServer.Events.Download(
            std::move(name), std::move(query),
            [self = shared_from_this(), head, version, keepAlive](TDownload file) {
                asio::post(self->mServer.Io, [self, head, version, keepAlive,
                                              file = std::move(file)]() mutable {
                    auto response = std::make_shared<http::response<http::string_body>>(
                        static_cast<http::status>(file.Status), version);
                    response->set(http::field::content_type, file.Type);
                    response->set(http::field::cache_control, "no-store");
                    response->set("X-Content-Type-Options", "nosniff");
                    if (file.Status == 200)
                        response->set(http::field::content_disposition,
                                      "attachment; filename=\"" + file.FileName + "\"");
                    const std::size_t size = file.Body.size();
                    if (!head)
                        response->body() = std::move(file.Body);
                    response->prepare_payload();
                    if (head)
                        response->content_length(size);
                    response->keep_alive(keepAlive);
                    self->Send(response);
                });
            });
    }

    void Respond(http::status status, std::string text, bool keepAlive) {
        auto response = std::make_shared<http::response<http::string_body>>(status, 11);
        response->set(http::field::content_type, "text/plain; charset=utf-8");
        response->body() = std::move(text);
        response->prepare_payload();
        response->keep_alive(keepAlive);
        Send(response);
    }

    void Send(const std::shared_ptr<http::response<http::string_body>>& response) {
        http::async_write(
            mStream, *response,
            [self = shared_from_this(), response](beast::error_code error, std::size_t) {
                if (error || !response->keep_alive()) {
                    beast::error_code ignored;
                    self->mStream.socket().shutdown(tcp::socket::shutdown_send, ignored);
                    return;
                }
                self->ReadHeader();
            });
    }

    TImpl& mServer;
    beast::tcp_stream mStream;
    beast::flat_buffer mBuffer;
    std::optional<http::request_parser<http::empty_body>> mParser;
};

bool TServer::TImpl::Start(std::string& error) {
    beast::error_code code;
    const asio::ip::address address =
        asio::ip::make_address(Address == "localhost" ? "127.0.0.1" : Address, code);
    if (code) {
        error = code.message();
        return false;
    }
    const tcp::endpoint endpoint(address, PortAsked);
    Acceptor.open(endpoint.protocol(), code);
    if (!code)
        Acceptor.set_option(asio::socket_base::reuse_address(true), code);
    if (!code)
        Acceptor.bind(endpoint, code);
    if (!code)
        Acceptor.listen(asio::socket_base::max_listen_connections, code);
    if (code) {
        error = code.message();
        return false;
    }
    PortBound = Acceptor.local_endpoint().port();
    // The Host the pages send names the port bound (the system's choice for port 0).
    Access.Port = PortBound;
    Accept();
    WatchDriver();
    Thread = std::thread([this] { Io.run(); });
    return true;
}

void TServer::TImpl::Accept() {
    Acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error)
            return; // the acceptor was closed
        // A frame goes at once: small frames one after another would otherwise wait for the
        // acknowledgement of the one before (up to 40 ms on a delayed one).
        beast::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        std::make_shared<THttp>(*this, std::move(socket))->Run();
        Accept();
    });
}

void TServer::TImpl::WatchDriver() {
    Expiry.expires_after(std::chrono::milliseconds(250));
    Expiry.async_wait([this](beast::error_code error) {
        if (error)
            return;
        if (Control.Expire(TClock::now())) {
            Events.DriverGone();
            BroadcastControl();
        }
        WatchDriver();
    });
}

void TServer::TImpl::SendControl(TSocket& socket) {
    const int page = socket.Page();
    const nlohmann::json control = {{"type", "control"},
                                    {"page", page},
                                    {"drives", Control.Drives(page)},
                                    {"mayDrive", Control.RoleOf(page) == TRole::Driver},
                                    {"driverPresent", Control.Driver() != 0}};
    socket.Write(std::make_shared<const std::string>(control.dump()));
}

void TServer::TImpl::BroadcastControl() {
    for (auto& [page, weak] : Sockets)
        if (const auto socket = weak.lock())
            SendControl(*socket);
}

void TServer::TImpl::Deliver(int page, const std::shared_ptr<const std::string>& text) {
    if (page == ToDriver)
        page = Control.Driver();
    for (auto& [number, weak] : Sockets) {
        if (page != ToEveryPage && number != page)
            continue;
        if (const auto socket = weak.lock())
            socket->Write(text);
    }
}

void TServer::TImpl::Stop() {
    if (!Thread.joinable())
        return;
    asio::post(Io, [this] {
        beast::error_code ignored;
        Acceptor.close(ignored);
        Expiry.cancel();
        Io.stop();
    });
    Thread.join();
}

TServer::TServer(std::string address, std::uint16_t port, TAccessConfig access,
                 TServerEvents events)
    : mImpl(std::make_unique<TImpl>(std::move(address), port, std::move(access),
                                    std::move(events))) {}

TServer::~TServer() {
    Stop();
}

bool TServer::Start(std::string& error) {
    return mImpl->Start(error);
}

std::uint16_t TServer::Port() const {
    return mImpl->PortBound;
}

void TServer::Send(int page, std::string text) {
    auto shared = std::make_shared<const std::string>(std::move(text));
    asio::post(mImpl->Io, [impl = mImpl.get(), page, shared] { impl->Deliver(page, shared); });
}

void TServer::Stop() {
    mImpl->Stop();
}

} // namespace web
