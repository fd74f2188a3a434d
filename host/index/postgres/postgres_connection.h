// Owning handles for libpq: a connection, a result, and the parameters of
// a statement. Values travel in binary both ways, so that a path's bytes
// (bytea) and numbers need no quoting or parsing. libpq is loaded on the
// first connection, not linked: with its own libraries (TLS, Kerberos,
// LDAP) it took some 5 ms of every command's start, SQLite's searches too.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace host::index::postgres {

// A connection string or URI as libpq reads it, in its "key=value" form
// without the password, to show to people.
std::string WithoutPassword(const std::string& location);

// `message` with every password that `location` holds (a URI's "user:secret@"
// or a "password=" word) masked: libpq's messages quote what they could
// not read.
std::string WithoutSecrets(std::string message, const std::string& location);

class Result {
public:
    explicit Result(PGresult* result = nullptr) : result(result) {}
    Result(Result&& other) noexcept : result(other.result) { other.result = nullptr; }
    Result& operator=(Result&& other) noexcept;
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result();

    // The statement ran (and returned rows, or none).
    bool Ok() const;
    // The SQLSTATE of a failure ("42601"), empty when none.
    std::string State() const;
    int Rows() const;
    // Integers of any width, and booleans.
    std::int64_t Integer(int row, int column) const;
    double Real(int row, int column) const;
    // Text and bytea: the bytes as they are.
    std::string_view Bytes(int row, int column) const;

private:
    PGresult* result;
};

class Params {
public:
    Params& Integer(std::int64_t value);
    Params& Boolean(bool value);
    Params& Text(std::string_view value);
    Params& Bytes(std::string_view value);
    Params& NullText();  // a text parameter that is null

private:
    friend class Connection;
    Params& Add(Oid type, std::string value, bool null = false);
    std::vector<Oid> types;
    std::vector<std::string> values;
    std::vector<bool> nulls;
};

// A test seam: after `skip` more statements on any connection, the next
// `count` (a negative count: every one after) find their server process
// ended first, as a restart or a cut network leaves a connection. Only tests
// call it; DropConnections(0, 0) ends it.
void DropConnections(int skip, int count);
// The statements sent since DropConnections.
long StatementsSent();

class Connection {
public:
    Connection() = default;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { Close(); }

    // `location`: a connection string or URI, as libpq takes them.
    bool Open(const std::string& location);
    void Close();
    std::string LastError() const;
    // The SQLSTATE of the last failed statement ("" after a success, or
    // when the failure had none, as a lost connection).
    const std::string& LastState() const { return lastState; }
    bool InTransaction() const;
    // The connection to the server is still there (it may have been lost to
    // a restart or a network cut).
    bool Alive();
    // The last statement found the connection gone; no round trip.
    bool Broken() const;
    // Whether a connection pooler stands between: the server process that
    // answers is not the one the connection began with.
    bool ThroughPooler();

    // Runs statements without parameters (several, separated by ';').
    bool Execute(const char* sql);
    Result Query(const std::string& sql, const Params& params = {});
    // The same, through a statement prepared once per connection by name.
    Result Prepared(const char* name, const char* sql, const Params& params);

private:
    PGconn* connection = nullptr;
    std::unordered_set<std::string> prepared;
    std::string lastError;  // of a failed result, which libpq does not keep on the connection
    std::string lastState;
    Result Checked(PGresult* result);
    void DropWhenDue();
};

}  // namespace host::index::postgres
