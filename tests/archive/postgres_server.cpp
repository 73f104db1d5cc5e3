#include "postgres_server.h"

#include <libpq-fe.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rovena::test {
namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";

std::string Tail(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

}  // namespace

void RunSql(const std::string& url, const std::string& sql) {
  PGconn* conn = PQconnectdb(url.c_str());
  PGresult* result = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, sql.c_str()) : nullptr;
  const bool ok = result && (PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK);
  const std::string why = PQerrorMessage(conn);
  PQclear(result);
  PQfinish(conn);
  if (!ok) throw std::runtime_error("PostgreSQL test server: '" + sql + "' failed: " + why);
}

PostgresServer::PostgresServer() {
  char pattern[] = "/tmp/rovena_pg_XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("PostgreSQL test server: cannot make a folder in /tmp");
  dir_ = pattern;
  if (::geteuid() == 0) {
    runAs_ = "runuser -u postgres -- ";
    if (std::system(("chown postgres:postgres " + dir_).c_str()) != 0) {
      std::filesystem::remove_all(dir_);
      throw std::runtime_error("PostgreSQL test server: cannot hand " + dir_ +
                               " to the postgres user (is the postgresql-15 package installed?)");
    }
  }
  const std::string initdb = runAs_ + kBin + "initdb -D " + dir_ + "/data -A trust -U postgres -E UTF8 --no-sync > " +
                             dir_ + "/initdb.log 2>&1";
  const std::string start = runAs_ + kBin + "pg_ctl -D " + dir_ + "/data -l " + dir_ + "/server.log -w -t 20 -o \"-k " +
                            dir_ + " -c listen_addresses='' -c fsync=off -c full_page_writes=off\" start > " + dir_ +
                            "/pg_ctl.log 2>&1";
  try {
    if (std::system(initdb.c_str()) != 0)
      throw std::runtime_error("PostgreSQL test server: initdb failed (are postgresql-15 and "
                               "postgresql-15-postgis-3 installed?):\n" + Tail(dir_ + "/initdb.log"));
    if (std::system(start.c_str()) != 0)
      throw std::runtime_error("PostgreSQL test server: pg_ctl start failed:\n" + Tail(dir_ + "/server.log"));
    RunSql(Url("template1"), "CREATE EXTENSION postgis");
  } catch (...) {
    Stop();
    throw;
  }
}

PostgresServer::~PostgresServer() { Stop(); }

void PostgresServer::Stop() {
  if (dir_.empty()) return;
  if (std::filesystem::exists(dir_ + "/data/postmaster.pid"))
    (void)std::system((runAs_ + kBin + "pg_ctl -D " + dir_ + "/data -m immediate stop > /dev/null 2>&1").c_str());
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
  dir_.clear();
}

std::string PostgresServer::Url(const std::string& database) const {
  return "postgresql:///" + database + "?host=" + dir_ + "&user=postgres";
}

std::string PostgresServer::NewDatabase() {
  const std::string name = "archive" + std::to_string(++databases_);
  RunSql(Url("postgres"), "CREATE DATABASE " + name);
  return Url(name);
}

}  // namespace rovena::test
