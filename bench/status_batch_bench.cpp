// What a batch of "status" lines costs end to end (the built program in
// batch mode against the stand-in daemon over a data root holding the
// sample assets), beside the bare cost of a loopback round trip of small
// frames, so the two rates can be read against each other.
//
// The built KestroUtil and kaddaemon are taken from the folder of this
// program and copied into the temporary data root's bin folder.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include "BenchSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kStatusLines = 10000;
constexpr int kRoundTrips = 10000;
constexpr size_t kFrameSize = 16;

const char* const kSampleKUIDs[] = {"<kuid:400001:101>", "<kuid2:400001:102:2>", "<kuid:400001:103>",
                                    "<kuid:400001:104>"};

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool ReadAll(int fd, uint8_t* p, size_t n)
{
    while (n > 0) {
        ssize_t got = ::recv(fd, p, n, 0);
        if (got <= 0)
            return false;
        p += got;
        n -= size_t(got);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        ssize_t sent = ::send(fd, p, n, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        p += sent;
        n -= size_t(sent);
    }
    return true;
}

// Small frames echoed by a plain server thread over loopback TCP; round
// trips per second, or a negative value when the link failed.
double PingPongRate()
{
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        return -1.0;
    }
    std::thread echo([listener] {
        int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0)
            return;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        uint8_t frame[kFrameSize];
        while (ReadAll(fd, frame, sizeof frame) && WriteAll(fd, frame, sizeof frame)) {
        }
        ::close(fd);
    });
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    int one = 1;
    if (ok)
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    uint8_t frame[kFrameSize] = {};
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; ok && i < kRoundTrips; ++i) {
        frame[0] = uint8_t(i);
        ok = WriteAll(fd, frame, sizeof frame) && ReadAll(fd, frame, sizeof frame) && frame[0] == uint8_t(i);
    }
    double elapsed = Seconds(start);
    if (fd >= 0)
        ::close(fd);
    ::shutdown(listener, SHUT_RDWR);
    echo.join();
    ::close(listener);
    return ok ? kRoundTrips / elapsed : -1.0;
}

}  // namespace

int main()
{
    const std::string root = benchsupport::MakeTempFolder("/tmp/status-batch-XXXXXX");
    if (root.empty()) {
        std::perror("mkdtemp");
        return 1;
    }
    std::error_code ec;
    fs::copy(KESTRO_SAMPLE_DIR, root, fs::copy_options::recursive, ec);
    fs::create_directories(root + "/bin");
    benchsupport::CopyPrograms(fs::path(root) / "bin", ec);
    if (ec) {
        std::fprintf(stderr, "cannot lay out the data root %s: %s\n", root.c_str(), ec.message().c_str());
        fs::remove_all(root, ec);
        return 1;
    }
    const std::string batch = root + "/batch.txt";
    {
        std::ofstream out(batch, std::ios::binary);
        for (int i = 0; i < kStatusLines; ++i)
            out << "status " << kSampleKUIDs[size_t(i) % std::size(kSampleKUIDs)] << "\n";
    }
    const std::string program = root + "/bin/KestroUtil";

    // The first command starts the daemon; that start is not part of the
    // batch's rate.
    benchsupport::RunQuietly({program, "status", kSampleKUIDs[0]}, root);
    auto start = std::chrono::steady_clock::now();
    int code = benchsupport::RunQuietly({program, "@" + batch}, root);
    double statusRate = kStatusLines / Seconds(start);
    benchsupport::RunQuietly({program, "closekaddaemon"}, root);

    benchsupport::RemoveDaemonObjects(root);
    fs::remove_all(root, ec);

    double pingRate = PingPongRate();
    std::printf("status lines per second: %.0f; ping-pong round trips per second: %.0f\n", statusRate, pingRate);
    if (code != 0 || pingRate < 0) {
        std::fprintf(stderr, "the batch or the ping-pong did not run (batch exit %d)\n", code);
        return 1;
    }
    return 0;
}
