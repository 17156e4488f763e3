#include "app/Postgres.h"

#include <libpq-fe.h>

#include <charconv>
#include <regex>
#include <cstring>

namespace quillotide {

namespace {

// Binary COPY's frame: signature, flags, header extension length; a trailer of field count -1.
constexpr std::uint8_t kCopySignature[] = {'P', 'G', 'C', 'O', 'P', 'Y', '\n', 0xFF, '\r', '\n', 0};
constexpr std::size_t kCopyHeaderSize = sizeof(kCopySignature) + 8;
// Rows are sent to the server in pieces of about this size.
constexpr std::size_t kCopyPiece = 1 << 20;

void putBig(Bytes& out, std::uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::uint64_t getBig(const std::uint8_t* p, int n) {
  std::uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

// The server's and libpq's texts as one line: they break long messages over lines with tabs,
// which a status line or a terminal would show as a ragged block.
std::string oneLine(const char* text) {
  std::string s;
  bool space = false;
  for (const char* p = text ? text : ""; *p; ++p) {
    if (*p == '\n' || *p == '\t' || *p == '\r' || *p == ' ') {
      space = !s.empty();
      continue;
    }
    if (space) s.push_back(' ');
    space = false;
    s.push_back(*p);
  }
  return s;
}

constexpr char kHex[] = "0123456789abcdef";

void appendHex(std::string& out, std::span<const std::uint8_t> bytes) {
  for (const std::uint8_t b : bytes) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
}

}  // namespace

PgResult::PgResult(pg_result* result) : m_result(result, PQclear) {}

int PgResult::rows() const { return m_result ? PQntuples(m_result.get()) : 0; }
int PgResult::columns() const { return m_result ? PQnfields(m_result.get()) : 0; }

bool PgResult::isNull(int row, int column) const {
  return PQgetisnull(m_result.get(), row, column) != 0;
}

std::string PgResult::text(int row, int column) const {
  return std::string(PQgetvalue(m_result.get(), row, column),
                     static_cast<std::size_t>(PQgetlength(m_result.get(), row, column)));
}

std::int64_t PgResult::integer(int row, int column) const {
  if (isNull(row, column)) return 0;
  const std::string t = text(row, column);
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size())
    throw DatabaseError("The server answered '" + t + "' where a number was expected.");
  return v;
}

Bytes PgResult::bytes(int row, int column) const {
  if (isNull(row, column)) return {};
  std::size_t n = 0;
  unsigned char* raw =
      PQunescapeBytea(reinterpret_cast<const unsigned char*>(PQgetvalue(m_result.get(), row, column)), &n);
  if (!raw) throw DatabaseError("The server's bytes could not be read.");
  Bytes out(raw, raw + n);
  PQfreemem(raw);
  return out;
}

std::string pgIntArray(std::span<const std::int64_t> values) {
  std::string s = "{";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) s.push_back(',');
    s += std::to_string(values[i]);
  }
  s.push_back('}');
  return s;
}

std::string pgIntArray(std::span<const std::optional<std::int64_t>> values) {
  std::string s = "{";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) s.push_back(',');
    s += values[i] ? std::to_string(*values[i]) : "NULL";
  }
  s.push_back('}');
  return s;
}

std::string pgByteaArray(const std::vector<Bytes>& values) {
  // Inside an array literal a backslash escapes the next character, so the hex form's "\x"
  // is written "\\x" within quotes.
  std::string s = "{";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) s.push_back(',');
    s += "\"\\\\x";
    appendHex(s, values[i]);
    s.push_back('"');
  }
  s.push_back('}');
  return s;
}

bool urlHoldsPassword(const std::string& url) {
  static const std::regex kUserPassword(R"(^postgres(ql)?://[^/?@]*:[^/?@]*@)",
                                        std::regex::icase);
  static const std::regex kKeyword(R"((^|[\s?&])password\s*=)", std::regex::icase);
  return std::regex_search(url, kUserPassword) || std::regex_search(url, kKeyword);
}

std::string pgBytea(std::span<const std::uint8_t> bytes) {
  std::string s = "\\x";
  appendHex(s, bytes);
  return s;
}

PgCopyRow::PgCopyRow(Bytes& out, int fields) : m_out(out) {
  putBig(m_out, static_cast<std::uint16_t>(fields), 2);
}

PgCopyRow& PgCopyRow::i16(std::int16_t v) {
  putBig(m_out, 2, 4);
  putBig(m_out, static_cast<std::uint16_t>(v), 2);
  return *this;
}

PgCopyRow& PgCopyRow::i32(std::int32_t v) {
  putBig(m_out, 4, 4);
  putBig(m_out, static_cast<std::uint32_t>(v), 4);
  return *this;
}

PgCopyRow& PgCopyRow::i64(std::int64_t v) {
  putBig(m_out, 8, 4);
  putBig(m_out, static_cast<std::uint64_t>(v), 8);
  return *this;
}

PgCopyRow& PgCopyRow::bytes(std::span<const std::uint8_t> v) {
  putBig(m_out, v.size(), 4);
  m_out.insert(m_out.end(), v.begin(), v.end());
  return *this;
}

PgCopyRow& PgCopyRow::null() {
  putBig(m_out, 0xFFFFFFFFu, 4);
  return *this;
}

PgCopyFields::PgCopyFields(std::span<const std::uint8_t> row) {
  if (row.size() < 2) throw DatabaseError("The server sent a COPY row too short to read.");
  const auto n = static_cast<std::int16_t>(getBig(row.data(), 2));
  std::size_t at = 2;
  for (int i = 0; i < n; ++i) {
    if (row.size() - at < 4) throw DatabaseError("The server sent a COPY row cut short.");
    const auto length = static_cast<std::int32_t>(getBig(row.data() + at, 4));
    at += 4;
    if (length < 0) {
      m_fields.emplace_back(std::nullopt);
      continue;
    }
    if (row.size() - at < static_cast<std::size_t>(length))
      throw DatabaseError("The server sent a COPY row cut short.");
    m_fields.emplace_back(row.subspan(at, static_cast<std::size_t>(length)));
    at += static_cast<std::size_t>(length);
  }
}

std::int64_t PgCopyFields::integer(int i) const {
  const auto f = field(i);
  if (!f || (f->size() != 2 && f->size() != 4 && f->size() != 8))
    throw DatabaseError("The server sent a COPY field that is no integer.");
  const int n = static_cast<int>(f->size());
  const std::uint64_t raw = getBig(f->data(), n);
  if (n == 2) return static_cast<std::int16_t>(raw);
  if (n == 4) return static_cast<std::int32_t>(raw);
  return static_cast<std::int64_t>(raw);
}

PgConnection::PgConnection(const std::string& url, const AskPassword& askPassword)
    : m_url(url), m_askPassword(askPassword) {
  connect();
}

PgConnection::~PgConnection() {
  if (m_conn) PQfinish(m_conn);
}

void PgConnection::connect() {
  if (m_conn) {
    PQfinish(m_conn);
    m_conn = nullptr;
  }
  // The URL may be a connection string or a URI; a password asked for is added as its own
  // keyword, so it is never part of a text the program keeps or shows.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const char* keys[] = {"dbname", m_password ? "password" : nullptr, nullptr};
    const char* values[] = {m_url.c_str(), m_password ? m_password->c_str() : nullptr, nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (m_conn && PQstatus(m_conn) == CONNECTION_OK) break;
    const bool wantsPassword = m_conn && PQconnectionNeedsPassword(m_conn) && !m_password;
    if (attempt == 0 && wantsPassword && m_askPassword) {
      const std::string who = std::string(PQuser(m_conn)) + "@" + PQdb(m_conn);
      m_password = m_askPassword("Password for " + who + ":");
      if (m_password) continue;
    }
    const std::string message = oneLine(m_conn ? PQerrorMessage(m_conn) : "out of memory");
    const bool refused = m_conn && PQconnectionUsedPassword(m_conn);
    if (m_conn) PQfinish(m_conn);
    m_conn = nullptr;
    if (refused) throw DatabaseError("The server refused the login: " + message);
    throw ConnectionLostError("The shared world cannot be reached: " + message);
  }
  // Notices (such as "relation already exists, skipping") are no concern of the user.
  PQsetNoticeProcessor(m_conn, [](void*, const char*) {}, nullptr);
  exec("SET client_encoding TO 'UTF8'");
}

void PgConnection::reconnect() { connect(); }

bool PgConnection::isConnected() const { return m_conn && PQstatus(m_conn) == CONNECTION_OK; }

void PgConnection::fail(const std::string& what, pg_result* result) {
  std::string state;
  std::string message;
  if (result) {
    const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    if (s) state = s;
    message = oneLine(PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY));
    PQclear(result);
  }
  if (message.empty()) message = oneLine(m_conn ? PQerrorMessage(m_conn) : "not connected");
  if (!isConnected())
    throw ConnectionLostError("The shared world cannot be reached: " + message, state);
  throw DatabaseError(what.empty() ? message : what + ": " + message, state);
}

pg_result* PgConnection::checked(pg_result* result, const std::string& what) {
  const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_COPY_IN ||
      status == PGRES_COPY_OUT)
    return result;
  fail(what, result);
}

PgResult PgConnection::exec(const std::string& sql, const std::vector<PgParam>& params) {
  if (!m_conn) throw ConnectionLostError("The shared world cannot be reached: not connected");
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const PgParam& p : params) values.push_back(p ? p->c_str() : nullptr);
  pg_result* r = PQexecParams(m_conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                              values.data(), nullptr, nullptr, 0);
  return PgResult(checked(r, ""));
}

void PgConnection::execScript(const std::string& sql) {
  if (!m_conn) throw ConnectionLostError("The shared world cannot be reached: not connected");
  PQclear(checked(PQexec(m_conn, sql.c_str()), ""));
}

void PgConnection::copyIn(const std::string& sql, const std::function<bool(Bytes& rows)>& fill) {
  if (!m_conn) throw ConnectionLostError("The shared world cannot be reached: not connected");
  PQclear(checked(PQexec(m_conn, sql.c_str()), ""));
  Bytes buffer(kCopySignature, kCopySignature + sizeof(kCopySignature));
  putBig(buffer, 0, 4);
  putBig(buffer, 0, 4);
  const auto send = [&] {
    if (buffer.empty()) return;
    if (PQputCopyData(m_conn, reinterpret_cast<const char*>(buffer.data()),
                      static_cast<int>(buffer.size())) != 1)
      fail("");
    buffer.clear();
  };
  try {
    bool more = true;
    while (more) {
      more = fill(buffer);
      if (buffer.size() >= kCopyPiece) send();
    }
    putBig(buffer, 0xFFFF, 2);
    send();
  } catch (...) {
    // The server drops what it was sent; the connection stays usable.
    PQputCopyEnd(m_conn, "cancelled");
    while (pg_result* r = PQgetResult(m_conn)) PQclear(r);
    throw;
  }
  if (PQputCopyEnd(m_conn, nullptr) != 1) fail("");
  pg_result* r = PQgetResult(m_conn);
  checked(r, "");
  PQclear(r);
  while (pg_result* rest = PQgetResult(m_conn)) PQclear(rest);
}

void PgConnection::copyOut(const std::string& sql,
                           const std::function<void(const PgCopyFields&)>& take) {
  if (!m_conn) throw ConnectionLostError("The shared world cannot be reached: not connected");
  PQclear(checked(PQexec(m_conn, sql.c_str()), ""));
  bool header = true;
  std::exception_ptr failed;
  for (;;) {
    char* data = nullptr;
    const int n = PQgetCopyData(m_conn, &data, 0);
    if (n == -1) break;
    if (n == -2) fail("");
    std::span<const std::uint8_t> row(reinterpret_cast<const std::uint8_t*>(data),
                                      static_cast<std::size_t>(n));
    try {
      if (!failed) {
        if (header) {
          // The first message carries the header in front of the first row.
          if (row.size() < kCopyHeaderSize ||
              std::memcmp(row.data(), kCopySignature, sizeof(kCopySignature)) != 0)
            throw DatabaseError("The server's COPY data has no binary header.");
          const auto extension = getBig(row.data() + sizeof(kCopySignature) + 4, 4);
          if (row.size() < kCopyHeaderSize + extension)
            throw DatabaseError("The server's COPY data has no binary header.");
          row = row.subspan(kCopyHeaderSize + extension);
          header = false;
        }
        if (row.size() == 2 && getBig(row.data(), 2) == 0xFFFF) {
          // the trailer
        } else if (!row.empty()) {
          take(PgCopyFields(row));
        }
      }
    } catch (...) {
      // Read the rest so the connection is ready for the next statement.
      failed = std::current_exception();
    }
    PQfreemem(data);
  }
  pg_result* r = PQgetResult(m_conn);
  checked(r, "");
  PQclear(r);
  while (pg_result* rest = PQgetResult(m_conn)) PQclear(rest);
  if (failed) std::rethrow_exception(failed);
}

std::string PgConnection::identifier(const std::string& name) const {
  char* q = PQescapeIdentifier(m_conn, name.c_str(), name.size());
  if (!q) throw DatabaseError("The name '" + name + "' cannot be used.");
  std::string s = q;
  PQfreemem(q);
  return s;
}

std::string PgConnection::literal(const std::string& text) const {
  char* q = PQescapeLiteral(m_conn, text.c_str(), text.size());
  if (!q) throw DatabaseError("The text '" + text + "' cannot be used.");
  std::string s = q;
  PQfreemem(q);
  return s;
}

int PgConnection::socket() const { return m_conn ? PQsocket(m_conn) : -1; }

std::vector<PgNotification> PgConnection::takeNotifications() {
  std::vector<PgNotification> out;
  if (!m_conn) throw ConnectionLostError("The shared world cannot be reached: not connected");
  if (PQconsumeInput(m_conn) != 1 || PQstatus(m_conn) != CONNECTION_OK)
    throw ConnectionLostError("The shared world cannot be reached: " +
                              oneLine(PQerrorMessage(m_conn)));
  while (PGnotify* n = PQnotifies(m_conn)) {
    out.push_back({n->relname, n->extra ? n->extra : ""});
    PQfreemem(n);
  }
  return out;
}

std::string PgConnection::user() const { return m_conn ? PQuser(m_conn) : ""; }
std::string PgConnection::database() const { return m_conn ? PQdb(m_conn) : ""; }

std::string PgConnection::describe() const {
  if (!m_conn) return m_url;
  const char* host = PQhost(m_conn);
  return std::string(PQdb(m_conn)) + " on " + (host && *host ? host : "the local server");
}

}  // namespace quillotide
