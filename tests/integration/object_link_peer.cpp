// A plant-model peer for the object link, over a real TCP connection:
//   object_link_peer PORT exchange N     describe, then N data messages; the program under
//                                        test copies I0.0 to Q0.0, NOT I0.1 to Q0.1 and AIW0
//                                        to AQW0, so outputs must follow the inputs sent
//   object_link_peer PORT second         a second connection while one is open is closed by
//                                        the server, and the first keeps working
//   object_link_peer PORT policy         the policy answer, then the connection still works
//   object_link_peer PORT abuse          garbage, huge counts, a disconnect mid-message
//   object_link_peer PORT load RATE SECS RATE data messages a second for SECS seconds, each
//                                        answered in order; prints the figures
//   object_link_peer PORT flood N PID    N data messages without reading an answer: the
//                                        server (process PID) grows by less than 8 MB, turns
//                                        a second client away at once, answers in step with
//                                        the newest outputs when the reader reads again, and
//                                        serves the next client
// Exit 0 when every check held; the failing check is printed otherwise.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
int gPort = 9215;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "FAIL %s\n", what.c_str());
    std::exit(1);
}

int connectTo() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(gPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int tries = 0; tries < 50; ++tries) {
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            const int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    fail("cannot connect to port " + std::to_string(gPort));
}

void sendAll(int fd, const Bytes& b) {
    std::size_t at = 0;
    while (at < b.size()) {
        const ssize_t n = ::send(fd, b.data() + at, b.size() - at, MSG_NOSIGNAL);
        if (n <= 0) fail("send");
        at += static_cast<std::size_t>(n);
    }
}

// Reads exactly n bytes within ms; false on timeout or close.
bool readExactly(int fd, Bytes& out, std::size_t n, int ms) {
    out.clear();
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < n) {
        const int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count());
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, left) <= 0) return false;
        std::uint8_t buf[4096];
        const ssize_t r = ::recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0) return false;
        out.insert(out.end(), buf, buf + r);
    }
    return true;
}

// True when the server closed the connection within ms.
bool closedByServer(int fd, int ms) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    std::uint8_t b;
    return ::recv(fd, &b, 1, 0) == 0;
}

void put32(Bytes& m, std::uint32_t v) {
    for (int i = 3; i >= 0; --i) m.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

Bytes describe(std::uint32_t di, std::uint32_t dout, std::uint32_t ai, std::uint32_t ao, bool names) {
    Bytes m{1, 1, 1, 2};
    put32(m, 1);
    for (std::uint32_t n : {di, dout, ai, ao}) put32(m, n);
    if (names)
        for (std::uint32_t k = 0; k < di + dout + ai + ao; ++k) {
            char name[16];
            std::snprintf(name, sizeof name, "P%u", k);
            for (int c = 0; c < 8; ++c) m.push_back(static_cast<std::uint8_t>(c < static_cast<int>(std::strlen(name)) ? name[c] : 0));
        }
    return m;
}

Bytes data(std::uint8_t di0, float ai0) {
    Bytes m{1, 1, 1, 3, di0, 0, 0, 0, 0, 0, 0, 0};
    std::uint32_t u;
    std::memcpy(&u, &ai0, 4);
    put32(m, u);
    for (int k = 1; k < 16; ++k) put32(m, 0);
    return m;
}

float answerReal(const Bytes& a, int k) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u = u << 8 | a[static_cast<std::size_t>(12 + 4 * k + i)];
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

Bytes exchange(int fd, const Bytes& msg) {
    sendAll(fd, msg);
    Bytes a;
    if (!readExactly(fd, a, 76, 2000)) fail("no answer to a data message");
    if (a[0] != 1 || a[1] != 1 || a[2] != 1 || a[3] != 3) fail("answer header");
    return a;
}

// Sends data messages with the inputs given until the outputs follow; returns how many.
int until(int fd, std::uint8_t di0, float ai0, long& sent) {
    const std::uint8_t wantQ = static_cast<std::uint8_t>((di0 & 1) | ((di0 & 2) ? 0 : 2));
    for (int k = 1; k <= 400; ++k) {
        const Bytes a = exchange(fd, data(di0, ai0));
        ++sent;
        if ((a[4] & 3) == wantQ && std::fabs(answerReal(a, 0) - ai0) < 0.001f) return k;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    fail("outputs did not follow DI byte " + std::to_string(di0) + " and " + std::to_string(ai0) + " mA");
}

int exchangeAndReconnect(long n) {
    int fd = connectTo();
    sendAll(fd, describe(2, 2, 1, 1, true));
    long sent = 0;
    int changes = 0;
    for (int step = 0; sent < n; ++step) {
        until(fd, static_cast<std::uint8_t>(step % 4), 4.0f + static_cast<float>(step % 17), sent);
        ++changes;
    }
    // Beyond 20.4793758 mA the input is limited: AIW0 = 32000 comes back as 20 mA.
    for (int k = 0;; ++k) {
        const Bytes a = exchange(fd, data(1, 25.0f));
        ++sent;
        if (std::fabs(answerReal(a, 0) - 20.0f) < 0.001f) break;
        if (k > 400) fail("25 mA did not come back as 20 mA");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    fd = connectTo();
    sendAll(fd, describe(2, 2, 1, 1, false));
    until(fd, 2, 12.0f, sent);
    until(fd, 1, 8.0f, sent);
    ::close(fd);
    std::printf("exchanged %ld data messages, %d input changes followed, reconnected\n", sent, changes);
    return 0;
}

int secondMode() {
    const int first = connectTo();
    sendAll(first, describe(2, 2, 1, 1, false));
    long sent = 0;
    until(first, 1, 10.0f, sent);
    const int second = connectTo();
    if (!closedByServer(second, 2000)) fail("the second connection was not closed");
    ::close(second);
    until(first, 0, 6.0f, sent);
    ::close(first);
    std::printf("second connection refused, the first kept working\n");
    return 0;
}

int policyMode() {
    const int fd = connectTo();
    const std::string req = "<policy-file-request/>";
    Bytes m(req.begin(), req.end());
    m.push_back(0);
    sendAll(fd, m);
    Bytes a;
    // The answer ends with four zero bytes.
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    std::uint8_t buf[512];
    while (a.size() < 4 || !std::all_of(a.end() - 4, a.end(), [](std::uint8_t b) { return b == 0; })) {
        pollfd p{fd, POLLIN, 0};
        if (Clock::now() > deadline || ::poll(&p, 1, 200) < 0) fail("no policy answer");
        if (!(p.revents & POLLIN)) continue;
        const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
        if (r <= 0) fail("closed after the policy request");
        a.insert(a.end(), buf, buf + r);
    }
    const std::string text(a.begin(), a.end() - 4);
    if (text.find("<cross-domain-policy>") == std::string::npos ||
        text.find("to-ports=\"9215\"") == std::string::npos)
        fail("policy text: " + text);
    sendAll(fd, describe(2, 2, 1, 1, false));
    long sent = 0;
    until(fd, 3, 5.0f, sent);
    ::close(fd);
    std::printf("policy answered (%zu bytes), connection kept\n", a.size());
    return 0;
}

int abuseMode() {
    // Garbage, then a close.
    int fd = connectTo();
    std::string junk = "GET / HTTP/1.1\r\nHost: korvane\r\n\r\n";
    sendAll(fd, Bytes(junk.begin(), junk.end()));
    Bytes noise(5000);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 7919 % 251);
    sendAll(fd, noise);
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // Huge and negative counts, then data.
    fd = connectTo();
    Bytes huge{1, 1, 1, 2};
    for (std::uint32_t v : {1u, 0x7FFFFFFFu, 0xFFFFFFFFu, 100000u, 0x80000000u}) put32(huge, v);
    sendAll(fd, huge);
    long sent = 0;
    exchange(fd, data(0, 4.0f));
    ++sent;
    // A policy request that never ends, then a data message cut in the middle and a close.
    Bytes pol{'<', 'p', 'o', 'l'};
    pol.resize(3000, 'x');
    sendAll(fd, pol);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Bytes half = data(1, 12.0f);
    half.resize(40);
    sendAll(fd, half);
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A reset instead of a close.
    fd = connectTo();
    sendAll(fd, describe(64, 64, 16, 16, true));
    linger lg{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    // The next client is served as if nothing had happened.
    fd = connectTo();
    sendAll(fd, describe(2, 2, 1, 1, true));
    until(fd, 1, 9.0f, sent);
    until(fd, 2, 4.5f, sent);
    ::close(fd);
    std::printf("garbage, huge counts, unfinished messages and a reset survived; next client served\n");
    return 0;
}

int loadMode(int rate, int seconds) {
    const int fd = connectTo();
    sendAll(fd, describe(2, 2, 1, 1, false));
    const long total = static_cast<long>(rate) * seconds;
    const auto start = Clock::now();
    std::vector<Clock::time_point> sentAt(static_cast<std::size_t>(total));
    long sent = 0, answered = 0;
    double maxLatencyMs = 0, sumLatencyMs = 0;
    Bytes pending;
    std::uint8_t buf[65536];
    while (answered < total) {
        const auto now = Clock::now();
        const long due = std::min(total, static_cast<long>(std::chrono::duration<double>(now - start).count() * rate) + 1);
        for (; sent < due; ++sent) {
            sentAt[static_cast<std::size_t>(sent)] = Clock::now();
            sendAll(fd, data(static_cast<std::uint8_t>(sent & 1), 4.0f + static_cast<float>(sent % 16)));
        }
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 1);
        if (p.revents & POLLIN) {
            const ssize_t r = ::recv(fd, buf, sizeof buf, 0);
            if (r <= 0) fail("connection closed under load after " + std::to_string(answered) + " answers");
            pending.insert(pending.end(), buf, buf + r);
            const auto got = Clock::now();
            std::size_t at = 0;
            for (; pending.size() - at >= 76; at += 76) {
                if (pending[at] != 1 || pending[at + 3] != 3) fail("answer out of step at " + std::to_string(answered));
                if (answered >= sent) fail("more answers than messages");
                const double ms = std::chrono::duration<double, std::milli>(got - sentAt[static_cast<std::size_t>(answered)]).count();
                maxLatencyMs = std::max(maxLatencyMs, ms);
                sumLatencyMs += ms;
                ++answered;
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
        }
        if (Clock::now() - start > std::chrono::seconds(seconds + 10)) fail("answers missing: " + std::to_string(total - answered));
    }
    const double secs = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    std::printf("load: %ld messages in %.2f s (%.0f/s), all %ld answered in order, latency mean %.3f ms max %.3f ms\n",
                total, secs, static_cast<double>(total) / secs, answered, sumLatencyMs / static_cast<double>(answered),
                maxLatencyMs);
    return 0;
}

// A line of /proc/PID/status in kB ("VmRSS", "VmHWM"); -1 when not there.
long statusKb(const std::string& pid, const std::string& key) {
    std::ifstream in("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
    return -1;
}

int floodMode(long n, const std::string& pid) {
    const int fd = connectTo();
    sendAll(fd, describe(2, 2, 1, 1, false));
    long sent = 0;
    until(fd, 0, 4.0f, sent);
    const long before = statusKb(pid, "VmRSS");
    if (before < 0) fail("no /proc status for process " + pid);
    // The peer sends and never reads: the answers pile up in both sockets and then in the
    // server. Batches of 64 messages, so that the sending is not what takes the time.
    Bytes batch;
    for (int k = 0; k < 64; ++k) {
        const Bytes m = data(static_cast<std::uint8_t>(k & 1), 4.0f + static_cast<float>(k % 16));
        batch.insert(batch.end(), m.begin(), m.end());
    }
    for (long k = 0; k < n; k += 64) sendAll(fd, batch);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long peak = statusKb(pid, "VmHWM");
    const long grown = peak - before;
    std::printf("flood: %ld messages (%.1f MB of answers) unread; server memory %ld kB, peak %ld kB (+%ld kB)\n", n,
                static_cast<double>(n) * 76 / 1e6, before, peak, grown);
    if (grown > 8 * 1024) fail("the server grew by " + std::to_string(grown) + " kB for a peer that does not read");
    // The server still turns a second client away at once.
    const int second = connectTo();
    if (!closedByServer(second, 2000)) fail("a second connection was not closed during the flood");
    ::close(second);
    // Reading again: every answer is whole and in step, and the newest ones follow the inputs.
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    Bytes pending;
    std::vector<std::uint8_t> buf(1 << 16);
    long answers = 0;
    bool followed = false;
    while (!followed) {
        if (Clock::now() > deadline) fail("the flooding peer's answers never followed its inputs");
        sendAll(fd, data(1, 10.0f));
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0) break;
            const ssize_t r = ::recv(fd, buf.data(), buf.size(), 0);
            if (r <= 0) fail("the flooding peer's connection was closed");
            pending.insert(pending.end(), buf.begin(), buf.begin() + r);
        }
        std::size_t at = 0;
        for (; pending.size() - at >= 76; at += 76, ++answers) {
            if (pending[at] != 1 || pending[at + 1] != 1 || pending[at + 2] != 1 || pending[at + 3] != 3)
                fail("answer " + std::to_string(answers) + " out of step");
            const Bytes a(pending.begin() + static_cast<std::ptrdiff_t>(at),
                          pending.begin() + static_cast<std::ptrdiff_t>(at) + 76);
            followed = followed || ((a[4] & 3) == 3 && std::fabs(answerReal(a, 0) - 10.0f) < 0.001f);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
    }
    ::close(fd);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int next = connectTo();
    sendAll(next, describe(2, 2, 1, 1, false));
    until(next, 2, 7.0f, sent);
    ::close(next);
    std::printf("flood: %ld answers read afterwards, all in step; second client refused, next one served\n", answers);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: object_link_peer PORT exchange N | second | policy | abuse | load RATE SECS | flood N PID\n");
        return 2;
    }
    gPort = std::atoi(argv[1]);
    const std::string mode = argv[2];
    if (mode == "exchange") return exchangeAndReconnect(argc > 3 ? std::atol(argv[3]) : 1000);
    if (mode == "second") return secondMode();
    if (mode == "policy") return policyMode();
    if (mode == "abuse") return abuseMode();
    if (mode == "flood") return floodMode(argc > 3 ? std::atol(argv[3]) : 400000, argc > 4 ? argv[4] : "");
    if (mode == "load") return loadMode(argc > 3 ? std::atoi(argv[3]) : 1000, argc > 4 ? std::atoi(argv[4]) : 10);
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
