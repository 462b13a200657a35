#pragma once
// A TCP socket listening on a free port of 127.0.0.1, for a test that needs
// a server of its own; Winsock is started for as long as it lives.
#include <winsock2.h>

namespace qvtest {

class LoopbackListener {
public:
    LoopbackListener() {
        WSADATA wsa;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &wsa) == 0;
        sock_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int len = sizeof(addr);
        if (sock_ != INVALID_SOCKET &&
            ::bind(sock_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
            ::listen(sock_, 16) == 0 &&
            ::getsockname(sock_, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
            port_ = ntohs(addr.sin_port);
    }
    ~LoopbackListener() { Close(); }
    LoopbackListener(const LoopbackListener&) = delete;
    LoopbackListener& operator=(const LoopbackListener&) = delete;

    SOCKET socket() const { return sock_; }
    // 0 when no port could be had.
    int port() const { return port_; }
    void Close() {
        if (sock_ != INVALID_SOCKET) ::closesocket(sock_);
        sock_ = INVALID_SOCKET;
        if (started_) ::WSACleanup();
        started_ = false;
    }

private:
    bool started_ = false;
    SOCKET sock_ = INVALID_SOCKET;
    int port_ = 0;
};

}  // namespace qvtest
