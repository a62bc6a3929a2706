// Runs a command again and again, each time in a fresh process, and prints the wall time and
// the CPU time (user and system) of the runs in milliseconds: median, minimum, 90th percentile.
//   spawn_times N command [arguments...]
// The command's output goes to /dev/null; its exit status does not count. Timing here, not
// through the shell, leaves out the shell's own start and the clock calls around it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Summary {
    double median, min, p90;
};

Summary summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v[v.size() * 9 / 10]};
}

double ms(const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; }

}  // namespace

int main(int argc, char** argv) {
    const int n = argc >= 3 ? std::atoi(argv[1]) : 0;
    if (n < 1) {
        std::fprintf(stderr, "usage: spawn_times N command [arguments...]\n");
        return 2;
    }
    std::vector<double> wall;
    std::vector<double> cpu;
    for (int i = 0; i < n; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child < 0) {
            std::perror("fork");
            return 2;
        }
        if (child == 0) {
            const int null = open("/dev/null", O_WRONLY);
            if (null >= 0) {
                dup2(null, STDOUT_FILENO);
                dup2(null, STDERR_FILENO);
            }
            execv(argv[2], argv + 2);
            _exit(127);
        }
        int status = 0;
        rusage usage{};
        if (wait4(child, &status, 0, &usage) != child) {
            std::perror("wait4");
            return 2;
        }
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
            std::fprintf(stderr, "spawn_times: cannot run %s\n", argv[2]);
            return 2;
        }
        wall.push_back(took.count());
        cpu.push_back(ms(usage.ru_utime) + ms(usage.ru_stime));
    }
    const Summary w = summarise(wall);
    const Summary c = summarise(cpu);
    std::printf("wall median %.2f ms, min %.2f, p90 %.2f; cpu median %.2f ms, min %.2f, p90 %.2f (%d runs)\n", w.median,
                w.min, w.p90, c.median, c.min, c.p90, n);
    return 0;
}
