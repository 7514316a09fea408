#pragma once

#include "web/AccessRules.h"
#include "web/Commands.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace web {

// What the server hands to the application, on the network's thread (the application posts
// each call on to the bus's thread).
struct TServerEvents {
    std::function<void(int page)> Opened; // a page came
    // A page came back in the tab of the driving page that went, and drives in its place.
    std::function<void(int page)> Resumed;
    // A page's command (the driving page's, or one a watching page may send); false when the
    // page has too many waiting, and it is refused.
    std::function<bool(int page, const TCommand& command, bool drives)> Command;
    std::function<void()> DriverGone; // the driving page gone for TControl::GoneAfter
    std::function<void(int page)> Closed; // a page's WebSocket closed
    // Monitor rows for the page were dropped, since it reads too slowly: its next rows are
    // to be the monitor's tail afresh.
    std::function<void(int page)> Missed;
    // A GET of /download/NAME?QUERY: `done` takes the file, on any thread, once.
    std::function<void(std::string name, std::string query, std::function<void(TDownload)> done)>
        Download;
};

// The HTTP server for the one page and its WebSocket: the access rules in front of every
// request, the page's own files, one WebSocket a page with who drives and who watches, and
// the heartbeat that gives up a driving page that is gone. It runs on a thread of its own.
class TServer {
public:
    TServer(std::string address, std::uint16_t port, TAccessConfig access, TServerEvents events);
    ~TServer();
    TServer(const TServer&) = delete;
    TServer& operator=(const TServer&) = delete;

    // Listens and serves on the server's thread; false with the reason when the address cannot
    // be had (taken, not this machine's).
    bool Start(std::string& error);
    // The port it listens on (the one asked for, or the system's choice for 0).
    std::uint16_t Port() const;
    // Any thread: the connections open now (pages and HTTP), and how often the server has
    // looked at their deadlines (every 250 ms of the machine's time, on the program's clock).
    int Connections() const;
    std::uint64_t Rounds() const;
    // Any thread: `text` to one page, to every page (ToEveryPage) or to the driving one.
    void Send(int page, std::string text);
    // Stops serving and closes every connection.
    void Stop();

    // The largest WebSocket message and the most connections at once.
    class TImpl;

private:
    std::unique_ptr<TImpl> mImpl;
};

} // namespace web
