#pragma once
// CPU time and resident memory of this process and of the processes it started (the web
// processes of WebKitGTK), read from /proc, for the idle benchmarks.

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace brevant::bench {

struct ProcessUsage {
  int ppid = 0;
  unsigned long long ticks = 0;  // user + system clock ticks
  long rss_kb = 0;
};

inline std::map<int, ProcessUsage> processes() {
  std::map<int, ProcessUsage> all;
  DIR* proc = opendir("/proc");
  if (!proc)
    return all;
  while (dirent* e = readdir(proc)) {
    const int pid = std::atoi(e->d_name);
    if (pid <= 0)
      continue;
    std::ifstream in("/proc/" + std::string(e->d_name) + "/stat");
    std::string stat;
    std::getline(in, stat);
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
      continue;
    // After the command: state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt
    // utime stime ...
    char state = 0;
    ProcessUsage p;
    unsigned long long skip = 0, utime = 0, stime = 0;
    if (std::sscanf(stat.c_str() + close + 2,
                    "%c %d %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu %llu", &state, &p.ppid,
                    &skip, &skip, &skip, &skip, &skip, &skip, &skip, &skip, &skip, &utime,
                    &stime) != 13)
      continue;
    p.ticks = utime + stime;
    std::ifstream status("/proc/" + std::string(e->d_name) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmRSS:", 0) == 0)
        p.rss_kb = std::atol(line.c_str() + 6);
    }
    all[pid] = p;
  }
  closedir(proc);
  return all;
}

struct Usage {
  double cpu_seconds = 0;
  long rss_kb = 0;
};

// Every process descended from this one, leaving out `except` and its own (0: none).
inline Usage descendants_usage(int except = 0) {
  const auto all = processes();
  std::vector<int> mine{static_cast<int>(getpid())};
  unsigned long long ticks = 0;
  Usage u;
  for (std::size_t i = 0; i < mine.size(); ++i) {
    for (const auto& [pid, p] : all) {
      if (p.ppid == mine[i] && pid != except) {
        mine.push_back(pid);
        ticks += p.ticks;
        u.rss_kb += p.rss_kb;
      }
    }
  }
  u.cpu_seconds = static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  return u;
}

inline double own_cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline long own_rss_kb() {
  return processes()[static_cast<int>(getpid())].rss_kb;
}

}  // namespace brevant::bench
