// A USS drive for the master-port integration test, written from the USS framing: STX 02,
// LGE, ADR, the net data, BCC (the exclusive or of every byte before it).
//   uss_drive_peer DEVICE ADDRESS STATUS SECONDS
// Answers every valid telegram to drive ADDRESS with the status word STATUS (hexadecimal)
// and the received setpoint as its actual speed, for SECONDS, then prints how many
// telegrams it saw and answered and the last control word and setpoint.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: uss_drive_peer DEVICE ADDRESS STATUS SECONDS\n");
        return 2;
    }
    const int fd = open(argv[1], O_RDWR | O_NOCTTY);
    if (fd < 0) {
        std::perror("open");
        return 2;
    }
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    tcsetattr(fd, TCSANOW, &t);
    const int address = std::atoi(argv[2]);
    const auto status = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 16));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[4]));
    std::vector<std::uint8_t> buf;
    int seen = 0, answered = 0;
    unsigned control = 0, setpoint = 0;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        std::uint8_t in[256];
        const ssize_t n = read(fd, in, sizeof in);
        if (n <= 0) continue;
        buf.insert(buf.end(), in, in + n);
        for (;;) {
            while (!buf.empty() && buf[0] != 0x02) buf.erase(buf.begin());
            if (buf.size() < 2) break;
            const std::size_t len = static_cast<std::size_t>(buf[1]) + 2;
            if (buf.size() < len) break;
            std::uint8_t x = 0;
            for (std::size_t k = 0; k + 1 < len; ++k) x = static_cast<std::uint8_t>(x ^ buf[k]);
            if (x == buf[len - 1] && len == 14) {
                ++seen;
                const int adr = buf[2] & 0x1F;
                if (adr == address) {
                    control = (static_cast<unsigned>(buf[9]) << 8) | buf[10];
                    setpoint = (static_cast<unsigned>(buf[11]) << 8) | buf[12];
                    std::uint8_t r[14] = {0x02, 0x0C, static_cast<std::uint8_t>(adr), 0, 0, 0, 0, 0, 0,
                                          static_cast<std::uint8_t>(status >> 8), static_cast<std::uint8_t>(status),
                                          buf[11], buf[12], 0};
                    for (int k = 0; k < 13; ++k) r[13] = static_cast<std::uint8_t>(r[13] ^ r[k]);
                    if (write(fd, r, sizeof r) == static_cast<ssize_t>(sizeof r)) ++answered;
                }
            }
            buf.erase(buf.begin(), buf.begin() + static_cast<long>(len));
        }
    }
    std::printf("seen=%d answered=%d control=%04X setpoint=%04X\n", seen, answered, control, setpoint);
    close(fd);
    return 0;
}
