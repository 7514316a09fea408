#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>

// A hand-made client of the web server on the loopback: plain bytes, an HTTP request or a
// WebSocket, every wait bounded by the machine's own time (a missing answer fails the test
// instead of hanging it), never by the program's clock that the test steps.
class TWebClient {
public:
    static constexpr std::chrono::milliseconds Patience{15000};

    // Connects to 127.0.0.1:port; a receive buffer of `receiveBuffer` bytes when not 0.
    explicit TWebClient(std::uint16_t port, int receiveBuffer = 0) {
        mFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0)
            setsockopt(mFd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(mFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ADD_FAILURE() << "cannot connect: errno " << errno;
    }
    ~TWebClient() {
        if (mFd >= 0)
            close(mFd);
    }
    TWebClient(const TWebClient&) = delete;
    TWebClient& operator=(const TWebClient&) = delete;

    void Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(mFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                ADD_FAILURE() << "cannot send: errno " << errno;
                return;
            }
            sent += static_cast<std::size_t>(n);
        }
    }

    // Some bytes within `patience`; empty at the end of the stream (or on a reset), nothing
    // when none came in time.
    std::optional<std::string> Receive(std::chrono::milliseconds patience = Patience) {
        pollfd poll_fd{mFd, POLLIN, 0};
        if (poll(&poll_fd, 1, static_cast<int>(patience.count())) <= 0)
            return std::nullopt;
        char buffer[65536];
        const ssize_t n = recv(mFd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return std::string();
        return std::string(buffer, static_cast<std::size_t>(n));
    }

    // Whether the server closed the connection within `patience` (reading and dropping what
    // came before); the bytes read on the way in `read`.
    bool Closed(std::chrono::milliseconds patience = Patience, std::size_t* read = nullptr) {
        const auto end = std::chrono::steady_clock::now() + patience;
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            const auto bytes = Receive(left);
            if (!bytes)
                return false;
            if (bytes->empty())
                return true;
            if (read)
                *read += bytes->size();
        }
    }

    // An HTTP response whole: its header and its body of Content-Length bytes.
    std::string Response() {
        std::string text = mPending;
        mPending.clear();
        std::size_t end;
        while ((end = text.find("\r\n\r\n")) == std::string::npos) {
            const auto more = Receive();
            if (!more || more->empty())
                return text;
            text += *more;
        }
        std::size_t length = 0;
        const std::size_t field = Lower(text.substr(0, end)).find("\r\ncontent-length:");
        if (field != std::string::npos)
            length = std::stoul(text.substr(field + 17));
        while (text.size() < end + 4 + length) {
            const auto more = Receive();
            if (!more || more->empty())
                return text;
            text += *more;
        }
        mPending = text.substr(end + 4 + length);
        return text.substr(0, end + 4 + length);
    }

    // An answer in chunks whole: its header, and its body with the chunks joined (empty when
    // the answer broke off); read at no more than `bytesPerSecond` when not 0.
    std::pair<std::string, std::string> ChunkedResponse(std::size_t bytesPerSecond = 0) {
        std::string text = mPending;
        mPending.clear();
        const auto start = std::chrono::steady_clock::now();
        std::size_t taken = 0;
        const auto more = [&] {
            const auto bytes = Receive();
            if (!bytes || bytes->empty())
                return false;
            text += *bytes;
            taken += bytes->size();
            if (bytesPerSecond)
                std::this_thread::sleep_until(
                    start + std::chrono::microseconds(taken * 1'000'000 / bytesPerSecond));
            return true;
        };
        std::size_t end;
        while ((end = text.find("\r\n\r\n")) == std::string::npos)
            if (!more())
                return {text, {}};
        std::string body;
        for (std::size_t at = end + 4;;) {
            std::size_t line;
            while ((line = text.find("\r\n", at)) == std::string::npos)
                if (!more())
                    return {text.substr(0, end + 4), {}};
            const std::size_t size = std::stoul(text.substr(at, line - at), nullptr, 16);
            while (text.size() < line + 2 + size + 2)
                if (!more())
                    return {text.substr(0, end + 4), {}};
            body.append(text, line + 2, size);
            at = line + 2 + size + 2;
            if (size == 0) {
                mPending = text.substr(at);
                return {text.substr(0, end + 4), body};
            }
        }
    }

    // The WebSocket's upgrade, asked for with the page's own Host and Origin; the response's
    // header. `extra` goes in the same write, after the request.
    std::string Upgrade(std::uint16_t port, const std::string& extra = {}) {
        const std::string host = "127.0.0.1:" + std::to_string(port);
        Send("GET /ws HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
             "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n" +
             extra);
        return Response();
    }

    // A text frame from the page to the server (masked, as a browser sends it).
    static std::string TextFrame(const std::string& text) {
        std::string frame = "\x81";
        if (text.size() < 126) {
            frame += static_cast<char>(0x80 | text.size());
        } else {
            frame += static_cast<char>(0x80 | 126);
            frame += static_cast<char>(text.size() >> 8);
            frame += static_cast<char>(text.size() & 0xff);
        }
        const char mask[4] = {0x12, 0x34, 0x56, 0x78};
        frame.append(mask, 4);
        for (std::size_t i = 0; i < text.size(); ++i)
            frame += static_cast<char>(text[i] ^ mask[i % 4]);
        return frame;
    }

    // The next text frame's payload from the server; empty when the stream ended or nothing
    // came in time.
    std::string NextText() {
        while (true) {
            if (mPending.size() >= 2) {
                const auto b = [&](std::size_t i) { return static_cast<unsigned char>(mPending[i]); };
                std::size_t length = b(1) & 0x7f;
                std::size_t head = 2;
                if (length == 126) {
                    head = 4;
                    length = mPending.size() >= 4 ? (b(2) << 8 | b(3)) : 0;
                } else if (length == 127) {
                    head = 10;
                    length = 0;
                    for (std::size_t i = 2; i < 10 && mPending.size() >= 10; ++i)
                        length = length << 8 | b(i);
                }
                if (mPending.size() >= head && mPending.size() >= head + length) {
                    const int opcode = b(0) & 0x0f;
                    std::string payload = mPending.substr(head, length);
                    mPending.erase(0, head + length);
                    if (opcode == 1)
                        return payload;
                    continue;
                }
            }
            const auto more = Receive();
            if (!more || more->empty())
                return {};
            mPending += *more;
        }
    }

    // The next text frame whose text holds `part`.
    std::string NextTextWith(const std::string& part) {
        while (true) {
            std::string text = NextText();
            if (text.empty() || text.find(part) != std::string::npos)
                return text;
        }
    }

private:
    static std::string Lower(std::string text) {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    int mFd = -1;
    std::string mPending;
};
