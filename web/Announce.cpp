#include "web/Announce.h"

#include "platform/Messages.h"

#ifdef MORVELPLINT_AVAHI
#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/thread-watch.h>
#endif

namespace web {

#ifdef MORVELPLINT_AVAHI
namespace {

// The client on a poll thread of its own; every call on it under the poll's lock.
class TRealAvahi final : public TAvahiCalls {
public:
    ~TRealAvahi() override { Disconnect(); }

    bool Connect(std::string& error) override {
        mPoll = avahi_threaded_poll_new();
        if (!mPoll) {
            error = "avahi_threaded_poll_new";
            return false;
        }
        int code = 0;
        mClient = avahi_client_new(avahi_threaded_poll_get(mPoll), AvahiClientFlags(0), nullptr,
                                   nullptr, &code);
        if (!mClient) {
            error = avahi_strerror(code);
            avahi_threaded_poll_free(mPoll);
            mPoll = nullptr;
            return false;
        }
        avahi_threaded_poll_start(mPoll);
        return true;
    }
    std::string HostName() override { return Locked(avahi_client_get_host_name); }
    std::string HostNameFqdn() override { return Locked(avahi_client_get_host_name_fqdn); }
    bool AddService(const std::string& name, const std::string& type, std::uint16_t port,
                    std::string& error) override {
        avahi_threaded_poll_lock(mPoll);
        mGroup = avahi_entry_group_new(mClient, nullptr, nullptr);
        int code = mGroup ? avahi_entry_group_add_service(mGroup, AVAHI_IF_UNSPEC,
                                                          AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
                                                          name.c_str(), type.c_str(), nullptr,
                                                          nullptr, port, nullptr)
                          : avahi_client_errno(mClient);
        if (code == 0)
            code = avahi_entry_group_commit(mGroup);
        avahi_threaded_poll_unlock(mPoll);
        if (code != 0)
            error = avahi_strerror(code);
        return code == 0;
    }
    void Withdraw() override {
        if (!mGroup)
            return;
        avahi_threaded_poll_lock(mPoll);
        avahi_entry_group_reset(mGroup);
        avahi_entry_group_free(mGroup);
        mGroup = nullptr;
        avahi_threaded_poll_unlock(mPoll);
    }
    void Disconnect() override {
        if (!mPoll)
            return;
        Withdraw();
        avahi_threaded_poll_stop(mPoll);
        avahi_client_free(mClient);
        avahi_threaded_poll_free(mPoll);
        mPoll = nullptr;
        mClient = nullptr;
    }

private:
    std::string Locked(const char* (*get)(AvahiClient*)) {
        avahi_threaded_poll_lock(mPoll);
        const char* name = get(mClient);
        std::string copy = name ? name : "";
        avahi_threaded_poll_unlock(mPoll);
        return copy;
    }

    AvahiThreadedPoll* mPoll = nullptr;
    AvahiClient* mClient = nullptr;
    AvahiEntryGroup* mGroup = nullptr;
};

} // namespace

std::unique_ptr<TAvahiCalls> RealAvahi() {
    return std::make_unique<TRealAvahi>();
}
#else
std::unique_ptr<TAvahiCalls> RealAvahi() {
    return nullptr;
}
#endif

bool TAnnouncement::Start(std::uint16_t port, std::string& note) {
    if (!mCalls)
        return false;
    std::string error;
    if (!mCalls->Connect(error)) {
        note = platform::Args(platform::Tr("geen naam op het netwerk: avahi-daemon is niet te "
                                           "bereiken (%1); de adressen hieronder werken wel"),
                              {error});
        return false;
    }
    mConnected = true;
    // The same name whatever the language, as the rack's users know it.
    const std::string name = "Morvelplint op " + mCalls->HostName();
    if (!mCalls->AddService(name, "_http._tcp", port, error)) {
        note = platform::Args(platform::Tr("kan zich niet aankondigen als %1: %2"), {name, error});
        Stop();
        return false;
    }
    mAnnounced = true;
    mHost = mCalls->HostNameFqdn();
    return true;
}

void TAnnouncement::Stop() {
    if (mAnnounced)
        mCalls->Withdraw();
    if (mConnected)
        mCalls->Disconnect();
    mAnnounced = mConnected = false;
    mHost.clear();
}

} // namespace web
