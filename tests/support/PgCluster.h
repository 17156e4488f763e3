#pragma once
// A throwaway PostgreSQL cluster for tests and benchmarks: initdb into a new temporary folder,
// a server listening only on a Unix socket in that folder, trust logins. As root the server runs
// under the `postgres` account the Debian package makes. Stopped and removed on destruction.

#include <string>

namespace quillotide::test {

class PgCluster {
public:
  PgCluster();
  ~PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;

  // Whether the server runs; when not, why it could not start (for a test's skip message).
  bool running() const { return m_running; }
  const std::string& reason() const { return m_reason; }

  // Creates an empty database; returns its URL for the superuser `postgres`.
  std::string createDatabase(const std::string& name);
  // The URL of a database for a login (the superuser when empty).
  std::string url(const std::string& database, const std::string& user = "") const;
  // Creates a login role (trust logins need no password).
  void createLogin(const std::string& name);

  // From now on the login must give this password over the socket (scram-sha-256); every other
  // login stays trusted.
  void requirePassword(const std::string& name, const std::string& password);

  // Kills the server and every backend with SIGKILL, as a crash would.
  void kill9();
  // Starts the server again on the same folder (crash recovery runs); false when it does not.
  bool start();
  // The psql program of the server's version, for tests that send their own SQL.
  std::string psql() const { return m_bin + "/psql"; }
  // A command line prefix that runs a program as the server's account.
  const std::string& asServer() const { return m_asServer; }

  // One cluster for the whole test program, started on first use.
  static PgCluster& shared();

private:
  bool run(const std::string& command) const;

  std::string m_bin;
  std::string m_dir;
  std::string m_data;
  std::string m_socket;
  std::string m_log;
  std::string m_asServer;
  std::string m_reason;
  bool m_running = false;
};

}  // namespace quillotide::test

// In a Google Test: `cluster` is the shared throwaway server, or the test is skipped, naming why.
#define NEED_SERVER()                                                          \
  ::quillotide::test::PgCluster& cluster = ::quillotide::test::PgCluster::shared(); \
  if (!cluster.running()) GTEST_SKIP() << "no PostgreSQL: " << cluster.reason()
