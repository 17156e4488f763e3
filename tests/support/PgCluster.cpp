#include "support/PgCluster.h"

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace quillotide::test {

namespace fs = std::filesystem;

namespace {

std::string shellQuoted(const std::string& s) {
  std::string out = "'";
  for (const char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out.push_back(c);
  }
  return out + "'";
}

// The newest server installed, as Debian lays them out.
std::string serverBinaries() {
  std::string best;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
    const fs::path bin = entry.path() / "bin";
    if (fs::exists(bin / "pg_ctl") && fs::exists(bin / "initdb") &&
        (best.empty() || std::stoi(entry.path().filename().string()) >
                             std::stoi(fs::path(best).parent_path().filename().string())))
      best = bin.string();
  }
  return best;
}

}  // namespace

PgCluster::PgCluster() {
  m_bin = serverBinaries();
  if (m_bin.empty()) {
    m_reason = "no PostgreSQL server is installed (/usr/lib/postgresql/*/bin/pg_ctl)";
    return;
  }
  char pattern[] = "/tmp/quillotide-pg-XXXXXX";
  if (!mkdtemp(pattern)) {
    m_reason = "no temporary folder could be made";
    return;
  }
  m_dir = pattern;
  m_data = m_dir + "/data";
  m_socket = m_dir + "/socket";
  m_log = m_dir + "/log";
  fs::create_directories(m_socket);
  fs::create_directories(m_log);
  chmod(m_dir.c_str(), 0755);
  if (geteuid() == 0) {
    // The server refuses to run as root; it runs as the package's account, which must own its
    // folders (a log in a folder it cannot write ends the start without a word).
    const passwd* pw = getpwnam("postgres");
    if (!pw) {
      m_reason = "running as root and there is no postgres account to run the server";
      return;
    }
    for (const std::string& d : {m_dir, m_socket, m_log})
      if (chown(d.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        m_reason = "the server's folders cannot be given to the postgres account";
        return;
      }
    m_asServer = "runuser -u postgres -- ";
  }
  if (!run(m_asServer + shellQuoted(m_bin + "/initdb") + " -D " + shellQuoted(m_data) +
           " -U postgres -A trust -E UTF8 --no-sync > " + shellQuoted(m_log + "/initdb.log") +
           " 2>&1")) {
    m_reason = "initdb failed (see " + m_log + "/initdb.log)";
    return;
  }
  if (!start()) m_reason = "the server did not start (see " + m_log + "/server.log)";
}

PgCluster::~PgCluster() {
  if (m_running)
    run(m_asServer + shellQuoted(m_bin + "/pg_ctl") + " -D " + shellQuoted(m_data) +
        " -m immediate stop > /dev/null 2>&1");
  if (!m_dir.empty()) {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
}

bool PgCluster::run(const std::string& command) const { return std::system(command.c_str()) == 0; }

bool PgCluster::start() {
  // fsync off: a test cluster's durability is the kill -9 test's business, which needs only
  // what the server promises without it after a process crash (the page cache survives).
  m_running = run(m_asServer + shellQuoted(m_bin + "/pg_ctl") + " -D " + shellQuoted(m_data) + " -l " +
                  shellQuoted(m_log + "/server.log") + " -o " +
                  shellQuoted("-k " + m_socket +
                         " -c listen_addresses='' -c fsync=off -c max_connections=60") +
                  " -w -t 60 start > /dev/null 2>&1");
  return m_running;
}

namespace {

// The live (not yet exited) children of a process, from /proc.
std::vector<pid_t> liveChildren(long parentPid) {
  std::vector<pid_t> children;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold spaces, so read after its closing bracket.
    const auto close = line.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long parent = 0;
    if (std::sscanf(line.c_str() + close + 1, " %c %ld", &state, &parent) == 2 &&
        parent == parentPid && state != 'Z')
      children.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return children;
}

}  // namespace

void PgCluster::kill9() {
  std::ifstream pidFile(m_data + "/postmaster.pid");
  long pid = 0;
  pidFile >> pid;
  if (pid <= 0) return;
  const auto server = static_cast<pid_t>(pid);
  // The server is held still so it starts no new backend; the backends go first (they would go
  // on serving their clients for a moment), until none is left, then the server. A client sees
  // the end of its connection once its backend has exited.
  ::kill(server, SIGSTOP);
  for (int i = 0; i < 300; ++i) {
    const std::vector<pid_t> backends = liveChildren(pid);
    if (backends.empty()) break;
    for (const pid_t b : backends) ::kill(b, SIGKILL);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(server, SIGKILL);
  for (int i = 0; i < 200 && ::kill(server, 0) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  m_running = false;
}

std::string PgCluster::url(const std::string& database, const std::string& user) const {
  return "postgresql:///" + database + "?host=" + m_socket +
         "&user=" + (user.empty() ? std::string("postgres") : user);
}

std::string PgCluster::createDatabase(const std::string& name) {
  run(shellQuoted(psql()) + " " + shellQuoted(url("postgres")) + " -q -c " +
      shellQuoted("CREATE DATABASE " + name) + " > /dev/null 2>&1");
  return url(name);
}

void PgCluster::createLogin(const std::string& name) {
  run(shellQuoted(psql()) + " " + shellQuoted(url("postgres")) + " -q -c " +
      shellQuoted("CREATE ROLE " + name + " LOGIN") + " > /dev/null 2>&1");
}

void PgCluster::requirePassword(const std::string& name, const std::string& password) {
  createLogin(name);
  run(shellQuoted(psql()) + " " + shellQuoted(url("postgres")) + " -q -c " +
      shellQuoted("ALTER ROLE " + name + " PASSWORD '" + password + "'") + " > /dev/null 2>&1");
  // The first matching line of the file decides: the login's own line goes in front.
  const std::string hba = m_data + "/pg_hba.conf";
  std::ifstream in(hba);
  const std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  std::ofstream(hba) << "local all " << name << " scram-sha-256\n" << rest;
  run(shellQuoted(psql()) + " " + shellQuoted(url("postgres")) + " -q -c " +
      shellQuoted("SELECT pg_reload_conf()") + " > /dev/null 2>&1");
}

PgCluster& PgCluster::shared() {
  static PgCluster cluster;
  return cluster;
}

}  // namespace quillotide::test
