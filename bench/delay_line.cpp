// A link like the users': a TUN device in each of two network namespaces,
// and between them, each way, a line that sends packets one after the other
// at the link's rate, holds each for half the round trip and drops what
// overflows its buffer. The kernels' own TCP on both ends then goes through
// the handshake, slow start, acknowledgements and loss recovery as over a
// real link.
//
//   delay_line CLIENT_NS SERVER_NS ROUND_TRIP_MS RATE_BYTES_PER_S BUFFER_BYTES
//
// The namespaces are those of `ip netns add` (/var/run/netns/NAME). The
// client side is 10.201.0.1, the server side 10.201.0.2, point to point,
// MTU 1500; loopback is brought up in both. Prints "ready" once both
// devices are up, runs until SIGTERM or SIGINT, then prints what each way
// carried and dropped, and its processor time, on standard error. The
// devices go with the process.

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kMtu = 1500;
// A packet of the MTU fits; a larger one (none comes at this MTU) is cut.
constexpr std::size_t kSlotBytes = 2048;
constexpr std::int64_t kNsPerSecond = 1000000000;

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "delay_line: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

std::int64_t Now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
}

void EnterNamespace(const std::string& name) {
    const std::string path = "/var/run/netns/" + name;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
        Fail("cannot enter " + path);
    }
    close(fd);
}

void SetFlagsUp(int sock, const char* device) {
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, device, IFNAMSIZ - 1);
    if (ioctl(sock, SIOCGIFFLAGS, &ifr) != 0) {
        Fail(std::string("cannot read the flags of ") + device);
    }
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP | IFF_RUNNING);
    if (ioctl(sock, SIOCSIFFLAGS, &ifr) != 0) {
        Fail(std::string("cannot bring up ") + device);
    }
}

void SetAddress(int sock, const char* device, unsigned long request, const char* address) {
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, device, IFNAMSIZ - 1);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    inet_pton(AF_INET, address, &in.sin_addr);
    std::memcpy(&ifr.ifr_addr, &in, sizeof in);
    if (ioctl(sock, request, &ifr) != 0) {
        Fail(std::string("cannot set address ") + address + " on " + device);
    }
}

// Makes the TUN device `device` in the current namespace, as
// `ip addr add LOCAL peer PEER dev DEVICE` would address it, and brings it
// and loopback up. The descriptor keeps working after the process leaves
// the namespace.
int MakeDevice(const char* device, const char* local, const char* peer) {
    const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot open /dev/net/tun");
    }
    ifreq ifr{};
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    std::strncpy(ifr.ifr_name, device, IFNAMSIZ - 1);
    if (ioctl(fd, TUNSETIFF, &ifr) != 0) {
        Fail(std::string("cannot make the TUN device ") + device);
    }
    // The socket acts on the namespace it was made in: this one.
    const int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) {
        Fail("cannot make a socket");
    }
    ifr = ifreq{};
    std::strncpy(ifr.ifr_name, device, IFNAMSIZ - 1);
    ifr.ifr_mtu = kMtu;
    if (ioctl(sock, SIOCSIFMTU, &ifr) != 0) {
        Fail(std::string("cannot set the MTU of ") + device);
    }
    // A TUN device is point to point: its address gets a /32 and the peer a
    // route of its own.
    SetAddress(sock, device, SIOCSIFADDR, local);
    SetAddress(sock, device, SIOCSIFDSTADDR, peer);
    SetFlagsUp(sock, device);
    SetFlagsUp(sock, "lo");
    close(sock);
    return fd;
}

struct Slot {
    std::int64_t due;
    std::size_t size;
    unsigned char data[kSlotBytes];
};

// One way of the link. A packet departs at max(arrival, previous
// departure) + size / rate and arrives the one-way delay later; one that
// would wait longer than the buffer takes to drain is dropped. Arrivals are
// in order, so a ring of preallocated slots holds the packets on the way.
class Direction {
  public:
    Direction(const char* name, int from, int to, std::int64_t rate, std::int64_t oneWayNs,
              std::int64_t bufferBytes, std::size_t slots)
        : m_name(name),
          m_from(from),
          m_to(to),
          m_rate(rate),
          m_oneWayNs(oneWayNs),
          m_bufferNs(bufferBytes * kNsPerSecond / rate),
          m_ring(slots) {}

    // Takes every packet the sending side has queued.
    void Receive(std::int64_t now) {
        for (;;) {
            Slot& slot =
                m_count < m_ring.size() ? m_ring[(m_head + m_count) % m_ring.size()] : m_overflow;
            const ssize_t n = read(m_from, slot.data, sizeof slot.data);
            if (n <= 0) {
                if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    Fail(std::string("cannot read ") + m_name);
                }
                return;
            }
            ++m_received;
            const std::int64_t sendNs = n * kNsPerSecond / m_rate;
            const std::int64_t start = std::max(now, m_lastDeparture);
            if (&slot == &m_overflow || start - now + sendNs > m_bufferNs) {
                ++m_dropped;
                continue;
            }
            m_lastDeparture = start + sendNs;
            slot.due = m_lastDeparture + m_oneWayNs;
            slot.size = static_cast<std::size_t>(n);
            ++m_count;
        }
    }

    // Hands every packet that is due to the receiving side.
    void Deliver(std::int64_t now) {
        while (m_count > 0 && m_ring[m_head].due <= now) {
            const Slot& slot = m_ring[m_head];
            // A packet the receiving stack refuses is lost, as on a wire.
            if (write(m_to, slot.data, slot.size) < 0) {
                ++m_refused;
            }
            m_head = (m_head + 1) % m_ring.size();
            --m_count;
            ++m_delivered;
        }
    }

    // When the next packet is due; -1 when none is on the way.
    std::int64_t NextDue() const { return m_count > 0 ? m_ring[m_head].due : -1; }

    void PrintCounts() const {
        std::fprintf(stderr,
                     "delay_line: %s: %llu packets, %llu dropped, %llu delivered, %llu refused\n",
                     m_name, m_received, m_dropped, m_delivered, m_refused);
    }

  private:
    const char* m_name;
    int m_from;
    int m_to;
    std::int64_t m_rate;
    std::int64_t m_oneWayNs;
    std::int64_t m_bufferNs;
    std::vector<Slot> m_ring;
    Slot m_overflow{};
    std::size_t m_head = 0;
    std::size_t m_count = 0;
    std::int64_t m_lastDeparture = 0;
    unsigned long long m_received = 0;
    unsigned long long m_dropped = 0;
    unsigned long long m_delivered = 0;
    unsigned long long m_refused = 0;
};

std::int64_t PositiveNumber(const char* text, const char* what) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value <= 0) {
        std::fprintf(stderr, "delay_line: %s must be a positive whole number, not \"%s\"\n", what,
                     text);
        std::exit(64);
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: %s CLIENT_NS SERVER_NS ROUND_TRIP_MS RATE_BYTES_PER_S "
                     "BUFFER_BYTES\n",
                     argv[0]);
        return 64;
    }
    const std::int64_t roundTripMs = PositiveNumber(argv[3], "the round trip");
    const std::int64_t rate = PositiveNumber(argv[4], "the rate");
    const std::int64_t buffer = PositiveNumber(argv[5], "the buffer");
    const std::int64_t oneWayNs = roundTripMs * 1000000 / 2;

    // Blocked but while waiting, so that a signal cannot slip in between
    // the check of the flag and the wait.
    sigset_t blocked;
    sigset_t waiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigprocmask(SIG_BLOCK, &blocked, &waiting);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // Wake-ups within a microsecond of the packet's time, not the default
    // 50 us late.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);

    EnterNamespace(argv[1]);
    const int client = MakeDevice("vq-client", "10.201.0.1", "10.201.0.2");
    EnterNamespace(argv[2]);
    const int server = MakeDevice("vq-server", "10.201.0.2", "10.201.0.1");

    // Room for the buffer and for what is in flight for the one-way delay,
    // in packets of down to a quarter of a kilobyte (acknowledgements are
    // smaller, but few are on the way at once).
    const std::int64_t inFlight = rate * oneWayNs / kNsPerSecond;
    const auto slots =
        static_cast<std::size_t>(std::max<std::int64_t>(1024, (buffer + inFlight) / 256));
    Direction up("client to server", client, server, rate, oneWayNs, buffer, slots);
    Direction down("server to client", server, client, rate, oneWayNs, buffer, slots);

    const std::int64_t started = Now();
    std::printf("ready\n");
    std::fflush(stdout);

    pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
    while (g_stop == 0) {
        std::int64_t now = Now();
        up.Deliver(now);
        down.Deliver(now);
        std::int64_t next = -1;
        for (const std::int64_t due : {up.NextDue(), down.NextDue()}) {
            if (due >= 0 && (next < 0 || due < next)) {
                next = due;
            }
        }
        timespec timeout{};
        if (next >= 0) {
            const std::int64_t wait = std::max<std::int64_t>(0, next - now);
            timeout.tv_sec = static_cast<time_t>(wait / kNsPerSecond);
            timeout.tv_nsec = static_cast<long>(wait % kNsPerSecond);
        }
        const int ready = ppoll(fds, 2, next >= 0 ? &timeout : nullptr, &waiting);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            Fail("cannot wait for packets");
        }
        now = Now();
        if ((fds[0].revents & POLLIN) != 0) {
            up.Receive(now);
        }
        if ((fds[1].revents & POLLIN) != 0) {
            down.Receive(now);
        }
        if (((fds[0].revents | fds[1].revents) & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            errno = EIO;
            Fail("a TUN device failed");
        }
    }
    up.PrintCounts();
    down.PrintCounts();
    // A line that needed most of a core would delay packets by itself.
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double seconds = static_cast<double>(Now() - started) / kNsPerSecond;
    const double busy = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::fprintf(stderr, "delay_line: %.1f s of processor time in %.1f s\n", busy, seconds);
    return 0;
}
