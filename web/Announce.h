#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace web {

// The calls of avahi-daemon's client library that the announcement makes, behind an
// interface: the real library (RealAvahi), or a test's stand-in.
class TAvahiCalls {
public:
    virtual ~TAvahiCalls() = default;
    // To the daemon; false with the reason when none runs.
    virtual bool Connect(std::string& error) = 0;
    // The machine's name as the daemon has it ("zelmrek") and with its domain ("zelmrek.local").
    virtual std::string HostName() = 0;
    virtual std::string HostNameFqdn() = 0;
    // The service announced, and withdrawn.
    virtual bool AddService(const std::string& name, const std::string& type,
                            std::uint16_t port, std::string& error) = 0;
    virtual void Withdraw() = 0;
    virtual void Disconnect() = 0;
};

// avahi-daemon's client library; nullptr in a build without it (the Windows one).
std::unique_ptr<TAvahiCalls> RealAvahi();

// The program's name on the network while it listens there: "Morvelplint op <host>" as
// _http._tcp on its port, withdrawn when it stops (a static service file would announce the
// rack while the program is off).
class TAnnouncement {
public:
    explicit TAnnouncement(std::unique_ptr<TAvahiCalls> calls) : mCalls(std::move(calls)) {}
    ~TAnnouncement() { Stop(); }
    TAnnouncement(const TAnnouncement&) = delete;
    TAnnouncement& operator=(const TAnnouncement&) = delete;

    // Announces the service; false with what to say (once) when it cannot be announced.
    bool Start(std::uint16_t port, std::string& note);
    // The name with its domain that the addresses may use, empty while nothing is announced.
    const std::string& HostName() const { return mHost; }
    void Stop();

private:
    std::unique_ptr<TAvahiCalls> mCalls;
    bool mConnected = false;
    bool mAnnounced = false;
    std::string mHost;
};

} // namespace web
