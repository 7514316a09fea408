// The HTTP and WebSocket server (Boost.Beast), in this one translation unit: Beast compiles
// slowly, and nothing else of the program needs it.
#include "web/Server.h"

#include "web/Assets.h"
#include "web/Control.h"
#include "web/Outbox.h"
#include "web/QrCode.h"
#include "web/WebApp.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <map>
#include <nlohmann/json.hpp>
#include <cctype>
#include <sstream>
#include <utility>
#include <thread>

namespace web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

namespace {

using TClock = TControl::TClock;

// A page behind for too long gets a close frame with this reason; the page shows why it
// connects again. One that reads nothing is cut off this long after.
constexpr const char* BehindReason = "behind";
constexpr std::chrono::milliseconds GiveUpCloseFor{2000};
// What the system holds for a page beyond its outbox (it doubles it): at the 16 KiB a second
// of a weak link, four seconds. More would hide from the outbox how far behind a page is.
constexpr int SendBuffer = 32 * 1024;
constexpr const char* ViewCodePath = "/qr/view.svg";
constexpr int MaxDownloads = 2;

// A request's header complete within HeaderFor of the connection or of the answer before it
// (a kept-alive connection idle that long is closed); an answer that makes no progress for
// WriteFor, or a file that takes longer than AnswerFor to be made, ends its connection.
constexpr std::chrono::milliseconds HeaderFor{5000};
constexpr std::chrono::milliseconds WriteFor{10000};
constexpr std::chrono::milliseconds AnswerFor{30000};

// A connection for which there is no room is told so in the one write a new socket always
// takes, and closed.
void TurnAway(tcp::socket& socket) {
    static constexpr char Busy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Type: text/plain; "
                                   "charset=utf-8\r\nContent-Length: 21\r\nConnection: close"
                                   "\r\n\r\ntoo many connections\n";
    beast::error_code ignored;
    socket.non_blocking(true, ignored);
    socket.write_some(asio::buffer(Busy, sizeof Busy - 1), ignored);
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

std::string Field(const http::request_header<>& header, http::field field) {
    const auto found = header.find(field);
    return found == header.end() ? std::string() : std::string(found->value());
}

// The browser tab a page's WebSocket names ("/ws?tab=..."): letters, digits and '-', at most
// 64; empty for none.
std::string TabOf(const std::string& target) {
    const std::size_t question = target.find('?');
    if (question == std::string::npos)
        return {};
    std::string tab = QueryValue(std::string_view(target).substr(question + 1), "tab");
    if (tab.size() > 64)
        return {};
    for (const char c : tab)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
            return {};
    return tab;
}

// What the parser found wrong in a request (not a connection that ended within one).
bool Malformed(const beast::error_code& error) {
    return error && error.category() == beast::error_code(http::error::bad_target).category() &&
           error != http::error::end_of_stream && error != http::error::partial_message;
}

// A request the rules can judge: one Host and at most one Origin; a body only where one
// belongs, of a length known one way (chunked alone is the only transfer coding taken).
bool WellFormed(const http::request_header<>& header) {
    if (header.count(http::field::host) > 1 || header.count(http::field::origin) > 1 ||
        header.count(http::field::transfer_encoding) > 1)
        return false;
    const bool hasLength = header.count(http::field::content_length) > 0;
    const auto coding = header.find(http::field::transfer_encoding);
    if (coding != header.end()) {
        if (!beast::iequals(coding->value(), "chunked") || hasLength)
            return false;
    }
    const bool body = coding != header.end() ||
                      (hasLength && header[http::field::content_length] != "0");
    const auto method = header.method();
    return !(body && (method == http::verb::get || method == http::verb::head));
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
    void LookBehind();

    // Every connection, HTTP or page, with what its deadline and its place in line are.
    struct TSlot {
        std::string Address;
        bool Page = false;    // an open WebSocket: it never gives way
        bool Waiting = false; // for a request (unfinished or idle), or refused: may give way
        bool Gone = false;    // cut, and going
        TClock::time_point Since{};
        TClock::time_point Deadline = TClock::time_point::max();
        std::function<void()> Cut;
    };
    std::uint64_t Enter(std::string address, bool page, std::function<void()> cut);
    void Leave(std::uint64_t slot) {
        Slots.erase(slot);
        Open = static_cast<int>(Slots.size());
    }
    void Wait(std::uint64_t slot, TClock::duration limit, bool first = false);
    void Busy(std::uint64_t slot, TClock::duration limit);
    void CutSlot(std::uint64_t slot);
    // Room for one more connection from `address`: the oldest that waits gives way when there
    // is none; false when none may.
    bool MakeRoom(const std::string& address);
    void CutOverdue();
    void BroadcastControl();
    void SendControl(TSocket& socket);

    std::string Address;
    std::uint16_t PortAsked;
    std::atomic<std::uint16_t> PortBound{0};
    TAccessConfig Access;
    TServerEvents Events;
    // On the server's thread only; before the io_context, whose end ends the connections
    // that count themselves here.
    int Pages = 0;
    int Downloads = 0;
    int NextPage = 0;
    std::map<std::uint64_t, TSlot> Slots;
    std::uint64_t NextSlot = 0;
    std::atomic<int> Open{0};
    std::atomic<std::uint64_t> Rounds{0};
    TControl Control;
    std::map<int, std::weak_ptr<TSocket>> Sockets;
    // The page of each browser tab that said which it is, while it is open or drives.
    std::map<std::string, int> Tabs;
    asio::io_context Io;
    tcp::acceptor Acceptor;
    asio::steady_timer Expiry;
    std::thread Thread;
    // The connections that wait for a file from the bus's thread; after the io_context, so
    // that they end before it.
    std::map<THttp*, std::shared_ptr<THttp>> Held;
    // Where the parts of the files being downloaded are made: one thread for each download.
    asio::thread_pool Makers{MaxDownloads};
};

// One WebSocket: a page.
class TServer::TImpl::TSocket : public std::enable_shared_from_this<TSocket> {
public:
    TSocket(TImpl& server, tcp::socket socket, TRole role, std::string address, std::string tab)
        : mServer(server), mStream(std::move(socket)), mRole(role), mTab(std::move(tab)) {
        ++mServer.Pages;
        mSlot = mServer.Enter(std::move(address), true, [] {});
        // What the system holds for a page that does not read, beside its outbox.
        beast::error_code ignored;
        beast::get_lowest_layer(mStream).socket().set_option(
            asio::socket_base::send_buffer_size(SendBuffer), ignored);
    }
    ~TSocket() {
        --mServer.Pages;
        mServer.Leave(mSlot);
    }

    // `handshake`: the upgrade request, and the bytes that came after it.
    void Run(const std::string& handshake) {
        mStream.read_message_max(MaxCommand);
        mStream.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        mStream.async_accept(asio::buffer(handshake), [self = shared_from_this()](beast::error_code error) {
            if (!error)
                self->Opened();
        });
    }

    // A frame for the page, with what it is to a page that falls behind.
    void Write(TOutbox::TFrame text, const TFrameInfo& info) {
        if (mGivenUp)
            return;
        const auto now = TClock::now();
        mOutbox.Push(std::move(text), info, now);
        if (mOutbox.TakeDropped()) {
            // The page shows how many rows it missed; its monitor starts afresh from the tail.
            mOutbox.Push(std::make_shared<const std::string>(
                             nlohmann::json{{"type", "missed"}, {"rows", mOutbox.Missed()}}.dump()),
                         {TFrameKind::State, "missed", 0}, now);
            if (mServer.Events.Missed)
                mServer.Events.Missed(mPage);
        }
        WriteNext();
    }

    int Page() const { return mPage; }

    // Behind for too long: closed with the reason, and cut off when even the close cannot be
    // sent (a page that reads nothing).
    void LookBehind(TClock::time_point now) {
        if (mGivenUp) {
            if (now - mGivenUpAt > GiveUpCloseFor) {
                beast::error_code ignored;
                beast::get_lowest_layer(mStream).socket().close(ignored);
            }
            return;
        }
        if (!mOutbox.Overdue(now))
            return;
        mGivenUp = true;
        mGivenUpAt = now;
        mStream.async_close(websocket::close_reason(websocket::close_code::try_again_later,
                                                    BehindReason),
                            [self = shared_from_this()](beast::error_code) {});
    }

    // Whether this page took the place of the driving page of its tab; told once.
    bool TakeResumed() { return std::exchange(mResumed, false); }

private:
    void Opened() {
        mPage = ++mServer.NextPage;
        mServer.Sockets[mPage] = weak_from_this();
        const auto now = TClock::now();
        if (!mTab.empty()) {
            const auto former = mServer.Tabs.find(mTab);
            if (former != mServer.Tabs.end())
                mResumed = mServer.Control.Resumed(mPage, former->second, mRole, now);
            mServer.Tabs[mTab] = mPage;
        }
        if (!mResumed)
            mServer.Control.Opened(mPage, mRole, now);
        if (mResumed && mServer.Events.Resumed)
            mServer.Events.Resumed(mPage);
        else
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
        if (!server.Events.Command(mPage, *command, server.Control.Drives(mPage)))
            Refuse("too many commands wait; this page sends faster than the rack takes them");
    }

    void Refuse(const std::string& reason) {
        Write(std::make_shared<const std::string>(
                  nlohmann::json{{"type", "refused"}, {"reason", reason}}.dump()),
              {TFrameKind::Event, "refused", 0});
    }

    void Closed() {
        if (mPage == 0)
            return;
        mServer.Sockets.erase(mPage);
        // A driving page's tab is remembered while it may come back.
        const auto tab = mServer.Tabs.find(mTab);
        if (tab != mServer.Tabs.end() && tab->second == mPage && !mServer.Control.Drives(mPage))
            mServer.Tabs.erase(tab);
        mServer.Control.Closed(mPage);
        if (mServer.Events.Closed)
            mServer.Events.Closed(mPage);
        mServer.BroadcastControl();
        mPage = 0;
    }

    void WriteNext() {
        if (mGivenUp)
            return;
        TOutbox::TFrame frame = mOutbox.Take(TClock::now());
        if (!frame)
            return;
        mStream.text(true);
        const auto buffer = asio::buffer(*frame);
        mStream.async_write(buffer, [self = shared_from_this(),
                                     frame = std::move(frame)](beast::error_code error,
                                                               std::size_t) {
            self->mOutbox.Written();
            if (!error)
                self->WriteNext();
        });
    }

    TImpl& mServer;
    websocket::stream<beast::tcp_stream> mStream;
    TRole mRole;
    int mPage = 0;
    beast::flat_buffer mBuffer;
    TOutbox mOutbox;
    std::string mTab;
    bool mResumed = false;
    std::uint64_t mSlot = 0;
    bool mGivenUp = false;
    TClock::time_point mGivenUpAt{};
};

// One HTTP connection: the access rules, then the page's files or the WebSocket.
class TServer::TImpl::THttp : public std::enable_shared_from_this<THttp> {
public:
    THttp(TImpl& server, tcp::socket socket, std::string address)
        : mServer(server), mStream(std::move(socket)), mAddress(std::move(address)) {}
    ~THttp() {
        DownloadEnded();
        if (mSlot)
            mServer.Leave(mSlot);
    }

    void Run() {
        mSlot = mServer.Enter(mAddress, false, [weak = weak_from_this()] {
            if (const auto self = weak.lock()) {
                beast::error_code ignored;
                self->mStream.socket().close(ignored);
            }
        });
        ReadHeader();
    }

private:
    void ReadHeader() {
        mParser.emplace();
        mParser->header_limit(8 * 1024);
        mServer.Wait(mSlot, HeaderFor);
        http::async_read_header(mStream, mBuffer, *mParser,
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (error == http::error::header_limit) {
                                        self->Refuse(http::status::request_header_fields_too_large,
                                                     "header too large\n");
                                    } else if (Malformed(error)) {
                                        self->Refuse(http::status::bad_request, "bad request\n");
                                    } else if (!error) {
                                        self->mServer.Busy(self->mSlot, AnswerFor);
                                        self->Handle();
                                    }
                                });
    }

    void Handle() {
        const auto& header = mParser->get();
        if (!WellFormed(header)) {
            Refuse(http::status::bad_request, "bad request\n");
            return;
        }
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
            Refuse(static_cast<http::status>(decision.Status),
                   std::string(http::obsolete_reason(static_cast<http::status>(decision.Status))) +
                       "\n");
            return;
        }
        if (request.Upgrade) {
            if (decision.Path != "/ws") {
                Respond(http::status::not_found, "not found\n", false);
                return;
            }
            // Beyond the most pages at once: refused; an open page never gives way.
            if (mServer.Pages >= MaxPages) {
                Respond(http::status::service_unavailable, "too many pages\n", false);
                return;
            }
            // The WebSocket reads the request again, and after it what came with it.
            std::ostringstream handshake;
            handshake << mParser->release();
            handshake << beast::make_printable(mBuffer.data());
            mServer.Leave(mSlot);
            mSlot = 0;
            std::make_shared<TSocket>(mServer, mStream.release_socket(), decision.Role, mAddress,
                                      TabOf(request.Target))
                ->Run(handshake.str());
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
        // The view-only address as a QR code, for a visitor's phone to watch ("Laat meekijken"):
        // for the Host this page came by; there is none on the loopback.
        std::string made;
        if (decision.Path == ViewCodePath && !mServer.Access.Loopback)
            made = QrSvg("http://" + request.Host + "/?view=" + mServer.Access.ViewToken);
        const TAsset madeAsset{ViewCodePath, "image/svg+xml", made};
        const TAsset* asset = made.empty() ? FindAsset(decision.Path) : &madeAsset;
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

    // The file comes from the bus's thread (whole, or a copy of the recording that its parts
    // are made from) and is sent on the server's.
    void Download(std::string name, std::string query, bool head, unsigned version,
                  bool keepAlive) {
        // Each holds a copy of the recording: no more than two at once.
        if (mServer.Downloads >= MaxDownloads) {
            Respond(http::status::service_unavailable,
                    "two downloads are under way; try again when one has ended\n", keepAlive);
            return;
        }
        ++mServer.Downloads;
        mDownloading = true;
        // Held by the server while the bus's thread makes the file: a file made after the
        // server has gone finds nobody to give it to.
        mServer.Held[this] = shared_from_this();
        mServer.Events.Download(
            std::move(name), std::move(query),
            [weak = weak_from_this(), head, version, keepAlive](TDownload file) {
                const auto self = weak.lock();
                if (!self)
                    return;
                asio::post(self->mServer.Io, [self, head, version, keepAlive,
                                              file = std::move(file)]() mutable {
                    self->mServer.Held.erase(self.get());
                    if (file.Parts) {
                        self->SendParts(std::move(file), head, version, keepAlive);
                        return;
                    }
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

    // A file made as it is taken, in chunks: each part is made on a thread of its own and
    // written, and the next one asked for once the connection has taken it.
    void SendParts(TDownload file, bool head, unsigned version, bool keepAlive) {
        mParts = std::move(file.Parts);
        // A client of HTTP/1.0 knows no chunks: its file ends where its connection does.
        if (version < 11)
            keepAlive = false;
        auto response = std::make_shared<http::response<http::buffer_body>>(
            static_cast<http::status>(file.Status), version);
        response->set(http::field::content_type, file.Type);
        response->set(http::field::cache_control, "no-store");
        response->set("X-Content-Type-Options", "nosniff");
        response->set(http::field::content_disposition,
                      "attachment; filename=\"" + file.FileName + "\"");
        response->keep_alive(keepAlive);
        if (version >= 11)
            response->chunked(true);
        response->body().data = nullptr;
        response->body().more = !head;
        auto serializer = std::make_shared<http::response_serializer<http::buffer_body>>(*response);
        mServer.Busy(mSlot, WriteFor);
        http::async_write_header(
            mStream, *serializer,
            [self = shared_from_this(), response, serializer, head](beast::error_code error,
                                                                    std::size_t) {
                if (error || head) {
                    self->mParts = nullptr;
                    self->Written(error, response->keep_alive());
                    return;
                }
                self->MakePart(response, serializer);
            });
    }

    void MakePart(const std::shared_ptr<http::response<http::buffer_body>>& response,
                  const std::shared_ptr<http::response_serializer<http::buffer_body>>& serializer) {
        asio::post(mServer.Makers, [self = shared_from_this(), response, serializer] {
            auto part = std::make_shared<std::string>();
            const bool more = self->mParts(*part);
            asio::post(self->mServer.Io, [self, response, serializer, part, more] {
                self->WritePart(response, serializer, part, more);
            });
        });
    }

    void WritePart(const std::shared_ptr<http::response<http::buffer_body>>& response,
                   const std::shared_ptr<http::response_serializer<http::buffer_body>>& serializer,
                   const std::shared_ptr<std::string>& part, bool more) {
        response->body().data = part->empty() ? nullptr : part->data();
        response->body().size = part->size();
        response->body().more = more;
        mServer.Busy(mSlot, WriteFor);
        http::async_write(
            mStream, *serializer,
            [self = shared_from_this(), response, serializer, part, more](beast::error_code error,
                                                                          std::size_t) {
                // A part taken whole asks for the next.
                if (error == http::error::need_buffer && more) {
                    self->MakePart(response, serializer);
                    return;
                }
                self->mParts = nullptr;
                self->Written(error == http::error::need_buffer ? beast::error_code() : error,
                              response->keep_alive());
            });
    }

    // A refusal counts towards nothing: its connection gives way first, and closes.
    void Refuse(http::status status, std::string text) {
        mServer.Wait(mSlot, WriteFor, true);
        mRefused = true;
        Respond(status, std::move(text), false);
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
        WriteSome(response,
                  std::make_shared<http::response_serializer<http::string_body>>(*response));
    }

    // The answer as the connection takes it: its deadline starts again at each part written.
    void WriteSome(const std::shared_ptr<http::response<http::string_body>>& response,
                   const std::shared_ptr<http::response_serializer<http::string_body>>& serializer) {
        if (!mRefused)
            mServer.Busy(mSlot, WriteFor);
        http::async_write_some(
            mStream, *serializer,
            [self = shared_from_this(), response, serializer](beast::error_code error,
                                                              std::size_t) {
                if (!error && !serializer->is_done()) {
                    self->WriteSome(response, serializer);
                    return;
                }
                self->Written(error, response->keep_alive());
            });
    }

    // An answer written whole (or the write failed): the connection's next request, or its end.
    void Written(beast::error_code error, bool keepAlive) {
        DownloadEnded();
        if (error)
            return;
        if (!keepAlive) {
            beast::error_code ignored;
            mStream.socket().shutdown(tcp::socket::shutdown_send, ignored);
            // What the client still sends (a body not taken) is read and thrown away, so that
            // its answer is not lost to a reset; first in line to give way.
            mServer.Wait(mSlot, HeaderFor, true);
            Drain(MaxBody);
            return;
        }
        ReadHeader();
    }

    void DownloadEnded() {
        if (mDownloading)
            --mServer.Downloads;
        mDownloading = false;
    }

    void Drain(std::size_t left) {
        mScratch.resize(4096);
        mStream.async_read_some(asio::buffer(mScratch),
                                [self = shared_from_this(), left](beast::error_code error,
                                                                  std::size_t read) {
                                    if (!error && read < left)
                                        self->Drain(left - read);
                                });
    }

    TImpl& mServer;
    beast::tcp_stream mStream;
    std::string mAddress;
    std::uint64_t mSlot = 0;
    bool mRefused = false;
    bool mDownloading = false;
    std::function<bool(std::string&)> mParts;
    std::vector<char> mScratch;
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
        const tcp::endpoint remote = socket.remote_endpoint(error);
        const std::string address = error ? std::string() : remote.address().to_string();
        if (MakeRoom(address))
            std::make_shared<THttp>(*this, std::move(socket), address)->Run();
        else
            TurnAway(socket);
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
            std::erase_if(Tabs, [this](const auto& tab) { return !Sockets.count(tab.second); });
        }
        LookBehind();
        CutOverdue();
        WatchDriver();
    });
}

std::uint64_t TServer::TImpl::Enter(std::string address, bool page, std::function<void()> cut) {
    const std::uint64_t slot = ++NextSlot;
    TSlot& entry = Slots[slot];
    entry.Address = std::move(address);
    entry.Page = page;
    entry.Since = TClock::now();
    entry.Cut = std::move(cut);
    Open = static_cast<int>(Slots.size());
    return slot;
}

void TServer::TImpl::Wait(std::uint64_t slot, TClock::duration limit, bool first) {
    const auto found = Slots.find(slot);
    if (found == Slots.end())
        return;
    const auto now = TClock::now();
    found->second.Waiting = true;
    found->second.Since = first ? TClock::time_point::min() : now;
    found->second.Deadline = now + limit;
}

void TServer::TImpl::Busy(std::uint64_t slot, TClock::duration limit) {
    const auto found = Slots.find(slot);
    if (found == Slots.end())
        return;
    found->second.Waiting = false;
    found->second.Deadline = TClock::now() + limit;
}

void TServer::TImpl::CutSlot(std::uint64_t slot) {
    TSlot& entry = Slots.at(slot);
    entry.Gone = true;
    // The connection ends on its handlers' error; it leaves its slot as it goes.
    const auto cut = std::move(entry.Cut);
    if (cut)
        cut();
}

bool TServer::TImpl::MakeRoom(const std::string& address) {
    const auto giveWay = [this](auto within) {
        std::uint64_t oldest = 0;
        for (const auto& [slot, entry] : Slots)
            if (!entry.Gone && !entry.Page && entry.Waiting && within(entry) &&
                (oldest == 0 || entry.Since < Slots.at(oldest).Since))
                oldest = slot;
        if (oldest == 0)
            return false;
        CutSlot(oldest);
        return true;
    };
    int fromAddress = 0;
    int http = 0;
    for (const auto& [slot, entry] : Slots) {
        if (entry.Gone)
            continue;
        fromAddress += entry.Address == address;
        http += !entry.Page;
    }
    if (fromAddress >= MaxPerAddress) {
        if (!giveWay([&](const TSlot& entry) { return entry.Address == address; }))
            return false;
        --http;
    }
    if (http >= MaxHttpConnections && !giveWay([](const TSlot&) { return true; }))
        return false;
    return true;
}

void TServer::TImpl::CutOverdue() {
    const auto now = TClock::now();
    std::vector<std::uint64_t> overdue;
    for (const auto& [slot, entry] : Slots)
        if (!entry.Gone && !entry.Page && now > entry.Deadline)
            overdue.push_back(slot);
    for (const std::uint64_t slot : overdue)
        CutSlot(slot);
    Open = static_cast<int>(Slots.size());
    ++Rounds;
}

void TServer::TImpl::SendControl(TSocket& socket) {
    const int page = socket.Page();
    const nlohmann::json control = {{"type", "control"},
                                    {"page", page},
                                    {"drives", Control.Drives(page)},
                                    {"mayDrive", Control.RoleOf(page) == TRole::Driver},
                                    {"driverPresent", Control.Driver() != 0},
                                    {"resumed", socket.TakeResumed()},
                                    {"viewCode", !Access.Loopback}};
    socket.Write(std::make_shared<const std::string>(control.dump()),
                 {TFrameKind::State, "control", 0});
}

void TServer::TImpl::LookBehind() {
    const auto now = TClock::now();
    std::vector<std::shared_ptr<TSocket>> sockets;
    for (auto& [page, weak] : Sockets)
        if (auto socket = weak.lock())
            sockets.push_back(std::move(socket));
    for (const auto& socket : sockets)
        socket->LookBehind(now);
}

void TServer::TImpl::BroadcastControl() {
    for (auto& [page, weak] : Sockets)
        if (const auto socket = weak.lock())
            SendControl(*socket);
}

void TServer::TImpl::Deliver(int page, const std::shared_ptr<const std::string>& text) {
    if (page == ToDriver)
        page = Control.Driver();
    const TFrameInfo info = ClassifyFrame(*text);
    for (auto& [number, weak] : Sockets) {
        if (page != ToEveryPage && number != page)
            continue;
        if (const auto socket = weak.lock())
            socket->Write(text, info);
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
    Makers.stop();
    Makers.join();
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

int TServer::Connections() const {
    return mImpl->Open;
}

std::uint64_t TServer::Rounds() const {
    return mImpl->Rounds;
}

void TServer::Send(int page, std::string text) {
    auto shared = std::make_shared<const std::string>(std::move(text));
    asio::post(mImpl->Io, [impl = mImpl.get(), page, shared] { impl->Deliver(page, shared); });
}

void TServer::Stop() {
    mImpl->Stop();
}

} // namespace web
