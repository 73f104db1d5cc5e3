// A private PostgreSQL server for the tests: its own data folder under /tmp, reachable only
// through a Unix socket in that folder, PostGIS ready in every database made from template1.
// Run as root, the server runs as Debian's postgres user, since initdb refuses root.
#pragma once

#include <string>

namespace rovena::test {

class PostgresServer {
 public:
  // Throws std::runtime_error saying what failed, with the server's log.
  PostgresServer();
  // Stops the server at once and removes its folder.
  ~PostgresServer();
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  // A fresh database (with PostGIS) and its connection URL.
  std::string NewDatabase();
  std::string Url(const std::string& database) const;

 private:
  void Stop();

  std::string dir_;
  std::string runAs_;  // "runuser -u postgres -- " when running as root
  int databases_ = 0;
};

// Runs one SQL command on `url`; throws std::runtime_error on failure.
void RunSql(const std::string& url, const std::string& sql);

}  // namespace rovena::test
