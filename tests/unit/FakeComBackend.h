#pragma once

#include "serial/ComBackend.h"

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

// What a TFakeComBackend did and how it is to answer. The test keeps it; the port owns the
// backend, which writes into it.
struct TFakeDevice {
    std::vector<std::string> Log;

    int OpenError = 0;
    int QueueError = 0;
    int LineError = 0;
    int TimeoutError = 0;
    int PurgeError = 0;
    int DtrError = 0;
    int ModemError = 0;
    std::uint32_t ModemStatus = 0;

    bool Open = false;
    serial::TDcb Dcb;
    serial::TCommTimeouts Timeouts;
    std::int32_t InputSize = 0;
    std::int32_t OutputSize = 0;
};

// Records every call of the port into the device's log, in order, so that tests can check
// the order of device operations against the port's notifications.
class TFakeComBackend : public serial::TComBackend {
public:
    explicit TFakeComBackend(TFakeDevice& device) : mDevice(device) {}

    int Open(const std::string& port) override {
        mDevice.Log.push_back("open " + port);
        if (mDevice.OpenError)
            return mDevice.OpenError;
        mDevice.Open = true;
        return 0;
    }
    void Close() override {
        mDevice.Log.push_back("close");
        mDevice.Open = false;
    }
    int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize) override {
        mDevice.Log.push_back("queues " + std::to_string(inputSize) + " " +
                              std::to_string(outputSize));
        mDevice.InputSize = inputSize;
        mDevice.OutputSize = outputSize;
        return Answer(mDevice.QueueError);
    }
    int SetLine(const serial::TDcb& dcb) override {
        mDevice.Log.push_back("line " + std::to_string(dcb.BaudRate));
        mDevice.Dcb = dcb;
        return Answer(mDevice.LineError);
    }
    int SetTimeouts(const serial::TCommTimeouts& timeouts) override {
        mDevice.Log.push_back("timeouts");
        mDevice.Timeouts = timeouts;
        return Answer(mDevice.TimeoutError);
    }
    int Write(const char*, std::int32_t count, std::int32_t& written) override {
        mDevice.Log.push_back("write " + std::to_string(count));
        written = mDevice.Open ? count : 0;
        return Answer(0);
    }
    int Read(char*, std::int32_t count, std::int32_t& received) override {
        mDevice.Log.push_back("read " + std::to_string(count));
        received = 0;
        return Answer(0);
    }
    int Purge(std::uint32_t flags) override {
        mDevice.Log.push_back("purge " + std::to_string(flags));
        return Answer(mDevice.PurgeError);
    }
    int SetDtr(bool on) override {
        mDevice.Log.push_back(on ? "dtr on" : "dtr off");
        return Answer(mDevice.DtrError);
    }
    int ModemStatus(std::uint32_t& status) override {
        mDevice.Log.push_back("modem");
        status = mDevice.ModemStatus;
        return Answer(mDevice.ModemError);
    }
    std::intptr_t Handle() const override { return mDevice.Open ? 3 : -1; }

private:
    int Answer(int error) const { return !mDevice.Open ? EBADF : error; }

    TFakeDevice& mDevice;
};

inline std::unique_ptr<serial::TComBackend> MakeFakeBackend(TFakeDevice& device) {
    return std::make_unique<TFakeComBackend>(device);
}
