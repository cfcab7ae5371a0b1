#pragma once

#include <cstdint>
#include <optional>

// How far the server has really taken what a sink sent over TCP. The bytes a
// sink writes say little: the kernel takes several megabytes into its
// socket buffers before a writer waits, which at a live stream's rate is
// minutes when a server hangs with its connection open. What the server's
// side acknowledged is what left.
//
// The sink keeps its socket to itself, so the connection is found among
// this process's descriptors by the server's port (a stream has one
// connection to its server at a time). Kept found by its descriptor and
// both ports, so a descriptor number that was closed and reused is never
// taken for it. One thread (the stream's).
class TcpDelivery {
public:
    explicit TcpDelivery(int serverPort) : serverPort_(serverPort) {}

    // Bytes the server's side acknowledged on the connection; empty when
    // this process has no connection to that port.
    std::optional<uint64_t> acknowledged();

private:
    // The bytes acknowledged on `fd` when it is a TCP connection to the
    // server's port (and from localPort when given).
    std::optional<uint64_t> acknowledgedOn(int fd, int* localPort) const;
    void find();

    int serverPort_;
    int fd_ = -1;
    int localPort_ = 0;
};
