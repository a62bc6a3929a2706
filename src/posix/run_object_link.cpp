#include "posix/run_object_link.h"

#include <arpa/inet.h>

#include <cstdlib>

namespace korvane {

namespace {
bool parsePort(const std::string& s, std::uint16_t& port) {
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    const long v = std::strtol(s.c_str(), nullptr, 10);
    if (v > 65535) return false;
    port = static_cast<std::uint16_t>(v);
    return true;
}
}  // namespace

int parseObjectLinkOption(const std::vector<std::string>& args, std::size_t& i, ObjectLinkRunOptions& o,
                          std::string& error) {
    const std::string& a = args[i];
    if (a == "--object-link") {
        o.enabled = true;
        // The port is optional: a following word made of digits is one.
        if (i + 1 < args.size() && !args[i + 1].empty() &&
            args[i + 1].find_first_not_of("0123456789") == std::string::npos) {
            if (!parsePort(args[i + 1], o.port)) {
                error = "--object-link takes a port of 0 to 65535";
                return -1;
            }
            ++i;
        }
        return 1;
    }
    if (a == "--link-address") {
        in_addr probe{};
        if (i + 1 >= args.size() || inet_pton(AF_INET, args[i + 1].c_str(), &probe) != 1) {
            error = "--link-address needs an IPv4 address such as 127.0.0.1";
            return -1;
        }
        o.address = args[++i];
        return 1;
    }
    return 0;
}

bool ObjectLinkRunner::start(Simulator& sim, const ObjectLinkRunOptions& o, std::string& error) {
    sim_ = &sim;
    ObjectLink& link = sim.attachObjectLink(server_);
    if (link.start(o.port, o.address) == ObjectLink::Start::Listening) return true;
    error = std::string(kMsgObjectListenFailed) + " (" + server_.errorText() + ")";
    return false;
}

void ObjectLinkRunner::addTo(DescriptorWait& wait) {
    if (server_.reportPending()) server_.pollOnce(0);
    int fds[2];
    short events[2];
    const int n = server_.descriptors(fds, events);
    for (int i = 0; i < n; ++i) wait.add(fds[i], events[i], [this](short) { server_.pollOnce(0); });
}

}  // namespace korvane
