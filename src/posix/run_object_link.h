#pragma once
// The headless runner's object link: its command-line options and the POSIX server that
// serves a plant model between the scan ticks of a real-time run.
//   --object-link [PORT]   serve the object link (default port 9215; 0 picks a free port)
//   --link-address ADDR    listen on this IPv4 address (default 127.0.0.1, loopback only;
//                          0.0.0.0 every interface)
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "posix/posix_object_server.h"
#include "posix/descriptor_wait.h"
#include "sim/simulator.h"

namespace korvane {

struct ObjectLinkRunOptions {
    bool enabled = false;
    std::uint16_t port = ObjectLink::kDefaultPort;
    // Loopback only unless told: whoever connects drives the inputs. "" or "0.0.0.0" is
    // every interface.
    std::string address = "127.0.0.1";
};

inline constexpr const char* kObjectLinkUsage =
    "  --object-link [PORT] serve the simulation object link on TCP PORT (default 9215, 0 a\n"
    "                     free port); implies --realtime and runs until interrupted unless\n"
    "                     --scans or --ms is given\n"
    "  --link-address ADDR  listen on this IPv4 address (default 127.0.0.1: loopback only;\n"
    "                     0.0.0.0 every interface: whoever connects drives the inputs)\n";

// The option at args[i], if it is one of the object link's: 1 when taken (i then stands on
// its last word), -1 when its value is wrong (error says why), 0 when not ours.
int parseObjectLinkOption(const std::vector<std::string>& args, std::size_t& i, ObjectLinkRunOptions& o,
                          std::string& error);

class ObjectLinkRunner {
public:
    ObjectLinkRunner() = default;
    ObjectLinkRunner(const ObjectLinkRunner&) = delete;
    ObjectLinkRunner& operator=(const ObjectLinkRunner&) = delete;
    // The link refers to the server: it goes with it.
    ~ObjectLinkRunner() {
        if (sim_) sim_->link.reset();
    }
    // Attaches the link to the simulator and listens. False, with the reason, when the
    // port cannot be taken.
    bool start(Simulator& sim, const ObjectLinkRunOptions& o, std::string& error);
    // Serves the link until the time given.
    void waitUntil(std::chrono::steady_clock::time_point until) { server_.waitUntil(until); }
    // Puts the server's sockets into a wait; what they report is served as waitUntil()
    // serves it. A failed send is reported at once, before any wait.
    void addTo(DescriptorWait& wait);
    std::uint16_t port() const { return server_.port(); }

private:
    PosixObjectServer server_;
    Simulator* sim_ = nullptr;
};

}  // namespace korvane
