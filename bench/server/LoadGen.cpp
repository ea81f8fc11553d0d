// Load for the exam server on 127.0.0.1: logins per second and reply latency
// with 1, 100 and 1,000 connections, and memory per idle connection. Starts
// the server itself, one single-threaded epoll loop plays every workstation.
// Writes one JSON object per figure on stdout, progress on stderr.
//
//   bench-loadgen --server EXE --work DIR [--seconds S] [--reps N]
//                 [--rate LOGINS_PER_S] [--idle CONNECTIONS]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Nanoseconds = std::int64_t;

constexpr int kRosterSize = 1000;
constexpr int kConnectBatch = 500;
constexpr Nanoseconds kSecond = 1'000'000'000;

Nanoseconds Now() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The kernel stamps each arriving reply with this clock (SO_TIMESTAMPNS), so
// latency ends when the reply arrived, not when this loop got round to it:
// on a shared machine this program is itself sometimes kept waiting.
Nanoseconds WallNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<Nanoseconds>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int failures = 0;

void Fail(const std::string& what) {
  ++failures;
  std::fprintf(stderr, "bench-loadgen: %s\n", what.c_str());
  std::printf("{\"error\": \"%s\"}\n", what.c_str());
  std::fflush(stdout);
}

void Emit(const std::string& id, double value) {
  std::printf("{\"id\": \"%s\", \"who\": \"server\", \"value\": %.6g}\n", id.c_str(), value);
  std::fflush(stdout);
}

void Progress(const std::string& what) { std::fprintf(stderr, "bench-loadgen: %s\n", what.c_str()); }

struct Options {
  std::string server;
  std::string work;
  double seconds = 5;
  int reps = 3;
  double rate = 10000;
  int idle = 10000;
};

std::string CandidateNumber(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "2025%06d", i);
  return text;
}

std::string IdCardNumber(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "11010120050101%04d", i);
  return text;
}

bool WriteRoster(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "准考证号,身份证号,姓名\n";
  for (int i = 0; i < kRosterSize; ++i) out << CandidateNumber(i) << ',' << IdCardNumber(i) << ",考生" << i << '\n';
  return static_cast<bool>(out);
}

// ---- the server process ----------------------------------------------------

class ServerProcess {
 public:
  ServerProcess(const Options& options, const std::string& tag) : work_(options.work) {
    output_ = work_ + "/server-" + tag + ".out";
    log_ = work_ + "/audit-" + tag + ".csv";
    std::filesystem::remove(output_);
    std::filesystem::remove(log_);
    const std::string roster = work_ + "/roster.csv";
    pid_ = fork();
    if (pid_ == 0) {
      int out = open(output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int in = open("/dev/null", O_RDONLY);
      if (out < 0 || in < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      execl(options.server.c_str(), options.server.c_str(), "--roster", roster.c_str(), "--listen", "127.0.0.1:0",
            "--log", log_.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid_ < 0) {
      Fail("fork failed");
      return;
    }
    // Its first line names the port; a file keeps its console output from
    // costing a reader here.
    const Nanoseconds deadline = Now() + 10 * kSecond;
    while (Now() < deadline) {
      std::ifstream in(output_);
      std::string line;
      if (std::getline(in, line) && in.good()) {
        unsigned port = 0;
        if (std::sscanf(line.c_str(), "listening on 127.0.0.1:%u", &port) == 1) port_ = static_cast<std::uint16_t>(port);
        break;
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      SleepMs(10);
    }
    if (!port_) Fail("the exam server did not say where it listens (" + output_ + ")");
  }

  ~ServerProcess() { Stop(); }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    const Nanoseconds deadline = Now() + 10 * kSecond;
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        Fail("the exam server did not stop on SIGTERM");
        break;
      }
      SleepMs(10);
    }
    pid_ = -1;
    std::filesystem::remove(log_);
  }

  std::uint16_t Port() const { return port_; }
  pid_t Pid() const { return pid_; }

 private:
  std::string work_;
  std::string output_;
  std::string log_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

std::optional<double> ResidentBytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) * 1024.0;
  }
  return std::nullopt;
}

std::size_t OpenDescriptors(pid_t pid) {
  std::error_code error;
  std::size_t count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error);
       !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
    ++count;
  }
  return count;
}

// CPU time of the whole machine and of the two processes measured, in clock
// ticks, to tell how much of the machine other programs took meanwhile.
struct CpuSnapshot {
  double busy = 0;
  double total = 0;
  double ours = 0;
};

double ProcessTicks(const std::string& statPath) {
  std::ifstream in(statPath);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Fields after the command name, which may hold spaces, counted from ')'.
  std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14 || i == 15) ticks += std::atof(field.c_str());
    if (i == 15) break;
  }
  return ticks;
}

CpuSnapshot TakeCpuSnapshot(pid_t server) {
  CpuSnapshot snapshot;
  std::ifstream in("/proc/stat");
  std::string label;
  in >> label;
  double value = 0;
  for (int i = 0; i < 8 && in >> value; ++i) {
    snapshot.total += value;
    if (i != 3 && i != 4) snapshot.busy += value;  // idle, iowait
  }
  snapshot.ours = ProcessTicks("/proc/self/stat") + ProcessTicks("/proc/" + std::to_string(server) + "/stat");
  return snapshot;
}

// Share of the machine's CPU time that other programs used, in percent.
double ForeignShare(const CpuSnapshot& before, const CpuSnapshot& after) {
  const double total = after.total - before.total;
  if (total <= 0) return 0;
  const double foreign = (after.busy - before.busy) - (after.ours - before.ours);
  return std::max(0.0, foreign) * 100.0 / total;
}

// ---- connections -------------------------------------------------------------

struct Connection {
  int fd = -1;
  std::string request;
  bool waiting = false;
  Nanoseconds dueAt = 0;               // when the request in flight fell due
  Nanoseconds sentAt = 0;              // when it went out (WallNow)
  std::deque<Nanoseconds> backlog;     // paced requests due while one was in flight
};

class Workstations {
 public:
  Workstations() { epoll_ = epoll_create1(EPOLL_CLOEXEC); }
  ~Workstations() {
    CloseAll();
    if (epoll_ >= 0) close(epoll_);
  }
  Workstations(const Workstations&) = delete;
  Workstations& operator=(const Workstations&) = delete;

  // Opens `count` connections in batches, so that the listen queue never
  // overflows, and waits until each is established.
  bool Open(std::uint16_t port, int count) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    while (static_cast<int>(connections_.size()) < count) {
      int batch = std::min(kConnectBatch, count - static_cast<int>(connections_.size()));
      std::size_t first = connections_.size();
      for (int i = 0; i < batch; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
          Fail(std::string("socket: ") + std::strerror(errno));
          return false;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &one, sizeof one);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
          Fail(std::string("connect: ") + std::strerror(errno));
          close(fd);
          return false;
        }
        Connection connection;
        connection.fd = fd;
        int index = static_cast<int>(connections_.size());
        connection.request = CandidateNumber(index % kRosterSize) + "fg" + IdCardNumber(index % kRosterSize);
        connections_.push_back(std::move(connection));
        epoll_event event{};
        event.events = EPOLLOUT;
        event.data.u32 = static_cast<std::uint32_t>(index);
        epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
      }
      std::size_t pending = connections_.size() - first;
      const Nanoseconds deadline = Now() + 30 * kSecond;
      std::vector<epoll_event> events(1024);
      while (pending > 0) {
        if (Now() > deadline) {
          Fail("connections not established within 30 s");
          return false;
        }
        int ready = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 1000);
        for (int i = 0; i < ready; ++i) {
          Connection& connection = connections_[events[i].data.u32];
          int error = 0;
          socklen_t length = sizeof error;
          getsockopt(connection.fd, SOL_SOCKET, SO_ERROR, &error, &length);
          if (error) {
            Fail(std::string("connect: ") + std::strerror(error));
            return false;
          }
          epoll_event event{};
          event.events = EPOLLIN;
          event.data.u32 = events[i].data.u32;
          epoll_ctl(epoll_, EPOLL_CTL_MOD, connection.fd, &event);
          --pending;
        }
      }
    }
    return true;
  }

  void CloseAll() {
    for (Connection& connection : connections_) {
      if (connection.fd >= 0) close(connection.fd);
    }
    connections_.clear();
  }

  std::size_t Count() const { return connections_.size(); }

  struct Result {
    std::uint64_t logins = 0;        // replies in the measured window
    double windowSeconds = 0;
    std::vector<Nanoseconds> latencies;
    std::uint64_t wrongReplies = 0;
    Nanoseconds worstLateness = 0;   // paced: how late a due request went out
  };

  // Closed loop: every connection sends its next login as soon as the reply
  // to the last one is in. Replies in the first `warmUp` are not counted.
  Result ClosedLoop(double seconds, double warmUp) {
    Result result;
    const Nanoseconds start = Now();
    const Nanoseconds measureFrom = start + static_cast<Nanoseconds>(warmUp * kSecond);
    const Nanoseconds end = measureFrom + static_cast<Nanoseconds>(seconds * kSecond);
    for (Connection& connection : connections_) Send(connection, Now());
    std::vector<epoll_event> events(1024);
    std::size_t inFlight = connections_.size();
    while (inFlight > 0) {
      int ready = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), 5000);
      if (ready == 0) {
        Fail("no reply for 5 s");
        break;
      }
      for (int i = 0; i < ready; ++i) {
        Connection& connection = connections_[events[i].data.u32];
        Nanoseconds arrived = 0;
        const Nanoseconds sent = connection.sentAt;
        if (!Receive(connection, result, arrived)) continue;
        const Nanoseconds now = Now();
        if (now >= measureFrom && now < end) {
          ++result.logins;
          result.latencies.push_back(arrived - sent);
        }
        if (now < end) {
          Send(connection, now);
        } else {
          --inFlight;
        }
      }
    }
    result.windowSeconds = seconds;
    return result;
  }

  // Open loop: logins fall due at `rate` per second in all, round robin over
  // the connections, whether or not earlier replies are in. A workstation
  // has one login in flight at most, so one due while the last is unanswered
  // goes out with that reply. Latency runs from sending to the reply.
  // (Closed loop at 1,000 connections would measure the queue it builds
  // itself: 1,000 divided by the throughput.)
  Result Paced(double seconds, double warmUp, double rate) {
    Result result;
    const Nanoseconds start = Now();
    const Nanoseconds measureFrom = start + static_cast<Nanoseconds>(warmUp * kSecond);
    const Nanoseconds end = measureFrom + static_cast<Nanoseconds>(seconds * kSecond);
    const double interval = kSecond / rate;
    std::uint64_t next = 0;
    auto dueTime = [&](std::uint64_t k) { return start + static_cast<Nanoseconds>(static_cast<double>(k) * interval); };
    std::vector<epoll_event> events(1024);
    std::size_t inFlight = 0;
    const std::size_t count = connections_.size();
    for (;;) {
      Nanoseconds now = Now();
      while (dueTime(next) <= now && dueTime(next) < end) {
        Connection& connection = connections_[next % count];
        const Nanoseconds due = dueTime(next);
        if (connection.waiting) {
          connection.backlog.push_back(due);
        } else {
          result.worstLateness = std::max(result.worstLateness, now - due);
          Send(connection, due);
          ++inFlight;
        }
        ++next;
      }
      const bool scheduleDone = dueTime(next) >= end;
      if (scheduleDone && inFlight == 0) break;
      timespec timeout{};
      if (!scheduleDone) {
        Nanoseconds wait = std::max<Nanoseconds>(0, dueTime(next) - Now());
        timeout.tv_sec = wait / kSecond;
        timeout.tv_nsec = wait % kSecond;
      } else {
        timeout.tv_sec = 5;
      }
      int ready = epoll_pwait2(epoll_, events.data(), static_cast<int>(events.size()), &timeout, nullptr);
      if (ready == 0 && scheduleDone) {
        Fail("no reply for 5 s");
        break;
      }
      for (int i = 0; i < ready; ++i) {
        Connection& connection = connections_[events[i].data.u32];
        Nanoseconds at = 0;
        const Nanoseconds due = connection.dueAt;
        const Nanoseconds sent = connection.sentAt;
        if (!Receive(connection, result, at)) continue;
        --inFlight;
        if (due >= measureFrom) {
          ++result.logins;
          result.latencies.push_back(at - sent);
        }
        if (!connection.backlog.empty()) {
          Nanoseconds queued = connection.backlog.front();
          connection.backlog.pop_front();
          Send(connection, queued);
          ++inFlight;
        }
      }
    }
    result.windowSeconds = seconds;
    return result;
  }

  // One login on the first connection, answered "1"?
  bool ProbeLogin() {
    if (connections_.empty()) return false;
    Result result;
    Connection& connection = connections_.front();
    Send(connection, Now());
    epoll_event event{};
    const Nanoseconds deadline = Now() + 5 * kSecond;
    while (Now() < deadline) {
      if (epoll_wait(epoll_, &event, 1, 1000) == 1 && event.data.u32 == 0) {
        Nanoseconds at = 0;
        return Receive(connection, result, at) && result.wrongReplies == 0;
      }
    }
    return false;
  }

 private:
  void Send(Connection& connection, Nanoseconds due) {
    connection.dueAt = due;
    connection.sentAt = WallNow();
    connection.waiting = true;
    ssize_t sent = send(connection.fd, connection.request.data(), connection.request.size(), MSG_NOSIGNAL);
    if (sent != static_cast<ssize_t>(connection.request.size())) Fail("a login request did not go out whole");
  }

  // `at`: when the reply arrived, on the WallNow clock.
  bool Receive(Connection& connection, Result& result, Nanoseconds& at) {
    char reply[16];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    iovec data{reply, sizeof reply};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t count = recvmsg(connection.fd, &message, 0);
    at = WallNow();
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
      if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS) {
        timespec stamp{};
        std::memcpy(&stamp, CMSG_DATA(header), sizeof stamp);
        at = static_cast<Nanoseconds>(stamp.tv_sec) * 1'000'000'000 + stamp.tv_nsec;
      }
    }
    if (count <= 0) {
      Fail("the server closed a connection");
      epoll_ctl(epoll_, EPOLL_CTL_DEL, connection.fd, nullptr);
      return false;
    }
    if (count != 1 || reply[0] != '1') ++result.wrongReplies;
    connection.waiting = false;
    return true;
  }

  int epoll_ = -1;
  std::vector<Connection> connections_;
};

double Percentile(std::vector<Nanoseconds> values, double fraction) {
  if (values.empty()) return 0;
  std::size_t rank = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(rank), values.end());
  return static_cast<double>(values[rank]) / 1e6;
}

void Throughput(const Options& options, int rep) {
  ServerProcess server(options, "load");
  if (!server.Port()) return;
  for (int count : {1, 100, 1000}) {
    const std::string suffix = ".c" + std::to_string(count);
    Progress("rep " + std::to_string(rep) + ": " + std::to_string(count) + " connections");
    Workstations workstations;
    if (!workstations.Open(server.Port(), count)) return;
    const double warmUp = std::min(0.5, options.seconds / 4);

    const CpuSnapshot cpuBefore = TakeCpuSnapshot(server.Pid());
    auto closed = workstations.ClosedLoop(options.seconds, warmUp);
    if (closed.wrongReplies) Fail(std::to_string(closed.wrongReplies) + " logins not answered \"1\"" + suffix);
    if (closed.logins == 0) {
      Fail("no login answered" + suffix);
    } else {
      Emit("server.logins_per_s" + suffix, static_cast<double>(closed.logins) / closed.windowSeconds);
      Emit("server.saturated_p99_ms" + suffix, Percentile(closed.latencies, 0.99));
    }

    auto paced = workstations.Paced(options.seconds, warmUp, options.rate);
    if (paced.wrongReplies) Fail(std::to_string(paced.wrongReplies) + " paced logins not answered \"1\"" + suffix);
    const double expected = options.rate * options.seconds;
    if (paced.logins < expected * 0.9) {
      Fail("paced run" + suffix + " answered " + std::to_string(paced.logins) + " of about " +
           std::to_string(static_cast<long>(expected)) + " logins");
    } else {
      Emit("server.latency_p50_ms" + suffix, Percentile(paced.latencies, 0.50));
      Emit("server.latency_p99_ms" + suffix, Percentile(paced.latencies, 0.99));
      Emit("server.paced_lateness_ms" + suffix, static_cast<double>(paced.worstLateness) / 1e6);
    }
    Emit("server.foreign_cpu_percent" + suffix, ForeignShare(cpuBefore, TakeCpuSnapshot(server.Pid())));
  }
}

void IdleMemory(const Options& options, int rep) {
  Progress("rep " + std::to_string(rep) + ": " + std::to_string(options.idle) + " idle connections");
  ServerProcess server(options, "idle");
  if (!server.Port()) return;
  SleepMs(200);
  const auto before = ResidentBytes(server.Pid());
  const std::size_t descriptorsBefore = OpenDescriptors(server.Pid());
  Workstations workstations;
  if (!workstations.Open(server.Port(), options.idle)) return;
  // Connected is not yet accepted: wait until the server holds every socket.
  const Nanoseconds deadline = Now() + 30 * kSecond;
  while (OpenDescriptors(server.Pid()) < descriptorsBefore + static_cast<std::size_t>(options.idle)) {
    if (Now() > deadline) {
      Fail("the server did not accept every idle connection within 30 s");
      return;
    }
    SleepMs(20);
  }
  SleepMs(500);
  const auto after = ResidentBytes(server.Pid());
  if (!before || !after) {
    Fail("no VmRSS for the server");
    return;
  }
  if (!workstations.ProbeLogin()) {
    Fail("the server did not answer a login while holding the idle connections");
    return;
  }
  Emit("server.idle_bytes_per_conn", (*after - *before) / options.idle);
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    const char* value = argv[i + 1];
    if (key == "--server") {
      options.server = value;
    } else if (key == "--work") {
      options.work = value;
    } else if (key == "--seconds") {
      options.seconds = std::atof(value);
    } else if (key == "--reps") {
      options.reps = std::atoi(value);
    } else if (key == "--rate") {
      options.rate = std::atof(value);
    } else if (key == "--idle") {
      options.idle = std::atoi(value);
    } else {
      return false;
    }
  }
  return argc % 2 == 1 && !options.server.empty() && !options.work.empty() && options.seconds > 0 &&
         options.reps > 0 && options.rate > 0 && options.idle > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: bench-loadgen --server EXE --work DIR [--seconds S] [--reps N] [--rate R] [--idle N]\n");
    return 2;
  }
  signal(SIGPIPE, SIG_IGN);
  // Every idle workstation is a descriptor here and in the server.
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_cur < static_cast<rlim_t>(options.idle) + 100) {
    std::fprintf(stderr, "bench-loadgen: RLIMIT_NOFILE %llu is too low for %d connections\n",
                 static_cast<unsigned long long>(limit.rlim_cur), options.idle);
    return 1;
  }
  // Paced sends wake on time; the default 50 us slack would blur them.
  prctl(PR_SET_TIMERSLACK, 1UL);
  std::filesystem::create_directories(options.work);
  if (!WriteRoster(options.work + "/roster.csv")) {
    std::fprintf(stderr, "bench-loadgen: cannot write the roster in %s\n", options.work.c_str());
    return 1;
  }
  std::printf("{\"meta\": \"server_seconds\", \"value\": %g}\n", options.seconds);
  std::printf("{\"meta\": \"server_rate\", \"value\": %g}\n", options.rate);
  std::printf("{\"meta\": \"server_reps\", \"value\": %d}\n", options.reps);
  std::printf("{\"meta\": \"server_idle_connections\", \"value\": %d}\n", options.idle);
  for (int rep = 0; rep < options.reps; ++rep) {
    Throughput(options, rep);
    IdleMemory(options, rep);
  }
  return failures ? 1 : 0;
}
