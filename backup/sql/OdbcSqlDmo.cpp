#include "sql/OdbcSqlDmo.h"

#include "sql/Kerberos.h"
#include "sql/TSql.h"

#include <brenlix/Error.h>
#include <platform/Text.h>
#include <platform/Win32.h>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <mutex>
#include <string_view>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#ifndef DUNMARROW_DEFAULT_ODBC_DRIVER
#  error "The build names the default ODBC driver in DUNMARROW_DEFAULT_ODBC_DRIVER."
#endif

// Only the wide entry points are called: Wine's A-suffixed ones crash, and
// names and paths outside the code page must reach the server intact.
static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the wide ODBC calls take UTF-16");
static_assert(std::is_same_v<SQLRETURN, short>, "ReadAllResults passes ODBC return codes as short");

namespace dunmarrow::sql {

namespace {

// A driver whose connection is gone keeps failing SQLMoreResults; after this
// many failures in a row the statement is taken as finished.
constexpr int kMaxFailuresInARow = 16;
constexpr SQLSMALLINT kMaxDiagnosticRecords = 64;

bool Succeeded(SQLRETURN rc)
{
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

SQLPOINTER IntegerAttribute(SQLUINTEGER value)
{
    return reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(value));
}

// NUL-terminated UTF-16 for the wide calls.
std::vector<SQLWCHAR> ToSqlText(std::string_view utf8)
{
    const std::u16string wide = platform::Utf8ToUtf16(utf8);
    std::vector<SQLWCHAR> text(wide.begin(), wide.end());
    text.push_back(0);
    return text;
}

std::string FromSqlText(const SQLWCHAR* text, std::size_t length)
{
    return platform::Utf16ToUtf8(std::u16string(text, text + length));
}

// One move-only owner per ODBC handle kind; SQLFreeHandle of that kind closes it.
template <SQLSMALLINT Kind>
class UniqueOdbcHandle {
public:
    UniqueOdbcHandle() = default;
    explicit UniqueOdbcHandle(SQLHANDLE handle) : handle_(handle) {}
    UniqueOdbcHandle(UniqueOdbcHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueOdbcHandle& operator=(UniqueOdbcHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    UniqueOdbcHandle(const UniqueOdbcHandle&) = delete;
    UniqueOdbcHandle& operator=(const UniqueOdbcHandle&) = delete;
    ~UniqueOdbcHandle() { Reset(); }

    SQLHANDLE Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives the handle up unclosed, for a connection a driver still waits on.
    void Release() { handle_ = nullptr; }

    void Reset()
    {
        if (handle_ != nullptr) {
            SQLFreeHandle(Kind, handle_);
            handle_ = nullptr;
        }
    }

private:
    SQLHANDLE handle_ = nullptr;
};

using UniqueEnvironment = UniqueOdbcHandle<SQL_HANDLE_ENV>;
using UniqueDbc = UniqueOdbcHandle<SQL_HANDLE_DBC>;
using UniqueStatement = UniqueOdbcHandle<SQL_HANDLE_STMT>;

// An open connection on a dbc handle it does not own; SQLDisconnect closes it.
class UniqueConnection {
public:
    UniqueConnection() = default;
    explicit UniqueConnection(SQLHDBC dbc) : dbc_(dbc) {}
    UniqueConnection(UniqueConnection&& other) noexcept : dbc_(std::exchange(other.dbc_, nullptr)) {}
    UniqueConnection& operator=(UniqueConnection&& other) noexcept
    {
        if (this != &other) {
            Reset();
            dbc_ = std::exchange(other.dbc_, nullptr);
        }
        return *this;
    }
    UniqueConnection(const UniqueConnection&) = delete;
    UniqueConnection& operator=(const UniqueConnection&) = delete;
    ~UniqueConnection() { Reset(); }

    explicit operator bool() const { return dbc_ != nullptr; }
    void Release() { dbc_ = nullptr; }

    void Reset()
    {
        if (dbc_ != nullptr) {
            SQLDisconnect(dbc_);
            dbc_ = nullptr;
        }
    }

private:
    SQLHDBC dbc_ = nullptr;
};

struct DiagnosticRecord {
    std::string state;
    SQLINTEGER native = 0;
    std::string text;
};

std::vector<DiagnosticRecord> ReadDiagnostics(SQLSMALLINT kind, SQLHANDLE handle)
{
    std::vector<DiagnosticRecord> records;
    std::vector<SQLWCHAR> message(1024);
    for (SQLSMALLINT number = 1; number <= kMaxDiagnosticRecords; ++number) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(kind, handle, number, state, &native, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(kind, handle, number, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!Succeeded(rc)) {
            break;
        }
        const auto size = std::min<std::size_t>(length < 0 ? 0 : length, message.size() - 1);
        DiagnosticRecord record{FromSqlText(state, 5), native, FromSqlText(message.data(), size)};
        while (!record.text.empty() && std::string_view(" \t\r\n").find(record.text.back()) != std::string_view::npos) {
            record.text.pop_back();
        }
        records.push_back(std::move(record));
    }
    return records;
}

// Class 01 is a warning or a message; every other state reports an error.
bool IsErrorState(const std::string& state)
{
    return state.rfind("01", 0) != 0 && state.rfind("00", 0) != 0;
}

// The error for a failed call, from the handle's diagnostic records.
brenlix::Error OdbcError(const char* call, SQLRETURN rc, SQLSMALLINT kind, SQLHANDLE handle)
{
    std::vector<DiagnosticRecord> records;
    if (rc != SQL_INVALID_HANDLE && handle != nullptr) {
        records = ReadDiagnostics(kind, handle);
    }
    if (records.empty()) {
        return brenlix::Error(kErrorUnspecified, kErrorSource,
                              std::string(call) + " failed with return code " + std::to_string(rc) +
                                  " and no diagnostic record.");
    }
    SQLINTEGER native = records.front().native;
    for (const DiagnosticRecord& record : records) {
        if (IsErrorState(record.state)) {
            native = record.native;
            break;
        }
    }
    // The progress a watched statement asks for ("n percent processed.",
    // 3211) is no part of what went wrong.
    constexpr SQLINTEGER kProgress = 3211;
    std::string description;
    for (const DiagnosticRecord& record : records) {
        if (!record.text.empty() && record.native != kProgress) {
            description += (description.empty() ? "" : " ") + record.text;
        }
    }
    if (description.empty()) {
        description = std::string(call) + " failed (SQLSTATE " + records.front().state + ").";
    }
    return brenlix::Error(native != 0 ? static_cast<std::int32_t>(native) : kErrorUnspecified, kErrorSource,
                          description);
}

void Check(SQLRETURN rc, const char* call, SQLSMALLINT kind, SQLHANDLE handle)
{
    if (!Succeeded(rc)) {
        throw OdbcError(call, rc, kind, handle);
    }
}

// Failures of SQLAllocHandle are reported on the parent handle.
template <SQLSMALLINT Kind>
UniqueOdbcHandle<Kind> Allocate(SQLSMALLINT parentKind, SQLHANDLE parent)
{
    SQLHANDLE handle = nullptr;
    const SQLRETURN rc = SQLAllocHandle(Kind, parent, &handle);
    if (!Succeeded(rc)) {
        throw OdbcError("SQLAllocHandle", rc, parentKind, parent);
    }
    return UniqueOdbcHandle<Kind>(handle);
}

// A column of the current row as UTF-8, read in parts as long as it is
// (a name of 128 characters takes three).
std::optional<std::string> ColumnText(SQLHSTMT handle, SQLUSMALLINT column)
{
    std::u16string text;
    std::vector<SQLWCHAR> buffer(64);
    const auto bytes = static_cast<SQLLEN>(buffer.size() * sizeof(SQLWCHAR));
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = SQLGetData(handle, column, SQL_C_WCHAR, buffer.data(), bytes, &indicator);
        if (rc == SQL_NO_DATA) {
            break;
        }
        Check(rc, "SQLGetData", SQL_HANDLE_STMT, handle);
        if (indicator == SQL_NULL_DATA) {
            return std::nullopt;
        }
        // A part that did not fit fills the buffer but for its NUL.
        const bool fits = indicator != SQL_NO_TOTAL && indicator < bytes;
        const std::size_t length =
            fits ? static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) : buffer.size() - 1;
        text.append(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        if (rc == SQL_SUCCESS) {
            break;
        }
    }
    return platform::Utf16ToUtf8(text);
}

// The rows of the statement's first result set; answered is called for each
// row the driver hands over. Throws the driver's error.
std::vector<ResultRow> ReadRows(SQLHSTMT handle, const std::function<void()>& answered)
{
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(handle, &columns), "SQLNumResultCols", SQL_HANDLE_STMT, handle);
    std::vector<ResultRow> rows;
    for (SQLRETURN rc = columns > 0 ? SQLFetch(handle) : SQL_NO_DATA; rc != SQL_NO_DATA; rc = SQLFetch(handle)) {
        answered();
        Check(rc, "SQLFetch", SQL_HANDLE_STMT, handle);
        ResultRow row;
        for (SQLSMALLINT column = 1; column <= columns; ++column) {
            row.push_back(ColumnText(handle, static_cast<SQLUSMALLINT>(column)));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

// A statement run on a thread of its own while the caller watches for
// answers: every return of the driver (the execution, each row, each
// SQLMoreResults) is a message from the server. Shared, since a worker that a
// silent server keeps waiting outlives the call.
struct WatchedStatement {
    UniqueStatement handle;
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t answers = 0;
    bool finished = false;
    bool cancelReturned = false;
    std::optional<brenlix::Error> failure;
    bool withRows = false; // the first result set's rows are read into rows
    std::vector<ResultRow> rows;

    // SQLCancel from another thread is how ODBC stops a running statement:
    // the driver sends the attention. A driver may also wait for the server's
    // acknowledgement inside the call (FreeTDS does when the statement is
    // between two calls), so it is made on a thread of its own, and only the
    // wait for its end is bounded.
    static void Cancel(const std::shared_ptr<WatchedStatement>& watched)
    {
        std::thread([watched] {
            SQLCancel(watched->handle.Get());
            {
                const std::lock_guard<std::mutex> lock(watched->mutex);
                watched->cancelReturned = true;
            }
            watched->changed.notify_all();
        }).detach();
    }

    void Answered()
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            ++answers;
        }
        changed.notify_all();
    }

    void Run(std::vector<SQLWCHAR> text)
    {
        std::optional<brenlix::Error> error;
        SQLRETURN first = SQLExecDirectW(handle.Get(), text.data(), SQL_NTS);
        Answered();
        if (withRows && Succeeded(first)) {
            try {
                rows = ReadRows(handle.Get(), [this] { Answered(); });
            } catch (const brenlix::Error& failed) {
                error = failed;
                first = SQL_SUCCESS; // what follows the rows is still read, so the connection stays usable
            }
        }
        ReadAllResults(
            first,
            [&] {
                const SQLRETURN rc = SQLMoreResults(handle.Get());
                Answered();
                return rc;
            },
            [&](short rc, int step) {
                if (!error) {
                    error = OdbcError(step == 0 ? "SQLExecDirectW" : "SQLMoreResults", rc, SQL_HANDLE_STMT,
                                      handle.Get());
                }
            });
        {
            const std::lock_guard<std::mutex> lock(mutex);
            failure = std::move(error);
            finished = true;
        }
        changed.notify_all();
    }
};

class OdbcServer final : public SQLServer {
public:
    OdbcServer(std::string driver, unsigned loginTimeoutSeconds)
        : driver_(std::move(driver)), loginTimeoutSeconds_(loginTimeoutSeconds)
    {
    }

    void LoginSecure(bool value) override { loginSecure_ = value; }
    void LoginTimeout(unsigned seconds) override { loginTimeoutSeconds_ = seconds; }

    // Throws kErrorUnexpected when already connected, kErrorInvalidArgument for
    // a name the connection string cannot carry, else the driver's error.
    void Connect(const std::string& serverName) override
    {
        if (connection_) {
            throw brenlix::Error(kErrorUnexpected, kErrorSource,
                                 "The server object is already connected; use a new one for another server.");
        }
        const std::vector<SQLWCHAR> text = ToSqlText(ConnectionString(driver_, serverName, loginSecure_));
        if (!environment_) {
            UniqueEnvironment environment = Allocate<SQL_HANDLE_ENV>(SQL_HANDLE_ENV, nullptr);
            Check(SQLSetEnvAttr(environment.Get(), SQL_ATTR_ODBC_VERSION, IntegerAttribute(SQL_OV_ODBC3), 0),
                  "SQLSetEnvAttr", SQL_HANDLE_ENV, environment.Get());
            environment_ = std::move(environment);
        }
        if (!dbc_) {
            dbc_ = Allocate<SQL_HANDLE_DBC>(SQL_HANDLE_ENV, environment_.Get());
        }
        Check(SQLSetConnectAttrW(dbc_.Get(), SQL_ATTR_LOGIN_TIMEOUT, IntegerAttribute(loginTimeoutSeconds_),
                                 SQL_IS_UINTEGER),
              "SQLSetConnectAttrW", SQL_HANDLE_DBC, dbc_.Get());
        std::vector<SQLWCHAR> completed(1024);
        SQLSMALLINT completedLength = 0;
        const SQLRETURN rc = SQLDriverConnectW(dbc_.Get(), nullptr, const_cast<SQLWCHAR*>(text.data()), SQL_NTS,
                                               completed.data(), static_cast<SQLSMALLINT>(completed.size()),
                                               &completedLength, SQL_DRIVER_NOPROMPT);
        if (!Succeeded(rc)) {
            brenlix::Error error = OdbcError("SQLDriverConnectW", rc, SQL_HANDLE_DBC, dbc_.Get());
            // The driver only says that it could not connect when the user
            // has no ticket to offer; say what is missing.
            const std::string missing = loginSecure_ ? MissingKerberosTicket() : std::string();
            if (!missing.empty()) {
                throw brenlix::Error(error.Number(), error.Source(),
                                     error.Description() + " The integrated login needs a Kerberos ticket (kinit): " +
                                         missing + ".");
            }
            throw error;
        }
        connection_ = UniqueConnection(dbc_.Get());
    }

    void QueryStallSeconds(unsigned seconds) override { stallSeconds_ = seconds; }

    // Throws kErrorUnexpected when not connected, else as Execute.
    std::vector<ResultRow> ExecuteWithResults(const std::string& statement) override
    {
        return Execute(statement, stallSeconds_, true);
    }

    // Runs one statement with no query timeout and reads all it returns (and
    // withRows, the rows of its first result set). With a stall limit, a
    // statement from which nothing comes for that long is cancelled and the
    // connection closed (or abandoned, when the server does not acknowledge
    // the cancel either); raises kErrorNoAnswer.
    std::vector<ResultRow> Execute(const std::string& statement, unsigned stallSeconds, bool withRows = false)
    {
        RequireConnection();
        UniqueStatement handle = Allocate<SQL_HANDLE_STMT>(SQL_HANDLE_DBC, dbc_.Get());
        Check(SQLSetStmtAttrW(handle.Get(), SQL_ATTR_QUERY_TIMEOUT, IntegerAttribute(0), SQL_IS_UINTEGER),
              "SQLSetStmtAttrW", SQL_HANDLE_STMT, handle.Get());
        auto watched = std::make_shared<WatchedStatement>();
        watched->handle = std::move(handle);
        watched->withRows = withRows;
        if (stallSeconds == 0) {
            watched->Run(ToSqlText(statement));
        } else {
            Watch(watched, ToSqlText(statement), stallSeconds);
        }
        if (watched->failure) {
            throw *watched->failure;
        }
        return std::move(watched->rows);
    }

private:
    void RequireConnection() const
    {
        if (!connection_) {
            throw brenlix::Error(kErrorUnexpected, kErrorSource,
                                 "The server object is not connected; call Connect before running a backup.");
        }
    }


    void Watch(const std::shared_ptr<WatchedStatement>& watched, std::vector<SQLWCHAR> text, unsigned stallSeconds)
    {
        std::thread worker([watched, text = std::move(text)]() mutable { watched->Run(std::move(text)); });
        std::unique_lock<std::mutex> lock(watched->mutex);
        for (std::uint64_t seen = 0; !watched->finished; seen = watched->answers) {
            if (watched->changed.wait_for(lock, std::chrono::seconds(stallSeconds),
                                          [&] { return watched->finished || watched->answers != seen; })) {
                continue;
            }
            // The statement's call returns once the server acknowledges the
            // cancel; the handle is freed only once no call uses it any more.
            WatchedStatement::Cancel(watched);
            const bool acknowledged =
                watched->changed.wait_for(lock, std::chrono::seconds(std::min(stallSeconds, kAttentionSeconds)),
                                          [&] { return watched->finished && watched->cancelReturned; });
            lock.unlock();
            if (acknowledged) {
                worker.join();
                if (!watched->failure) {
                    return; // it ended on its own just as the limit passed: the cancel came too late
                }
                watched->handle.Reset();
                connection_.Reset();
            } else {
                // The driver still waits on the connection: leave it, and its
                // handles, to the worker, the cancel and the end of the process.
                worker.detach();
                connection_.Release();
                dbc_.Release();
                environment_.Release();
            }
            throw brenlix::Error(kErrorNoAnswer, kErrorSource, NoAnswerText(stallSeconds));
        }
        lock.unlock();
        worker.join();
    }

    std::string driver_;
    unsigned loginTimeoutSeconds_;
    unsigned stallSeconds_ = 0;
    bool loginSecure_ = false;
    // Declared in the order they are opened, so they close in reverse.
    UniqueEnvironment environment_;
    UniqueDbc dbc_;
    UniqueConnection connection_;
};

class OdbcBackup final : public Backup {
public:
    void Database(const std::string& value) override { database_ = value; }
    void Files(const std::string& value) override { files_ = value; }
    void Initialize(bool value) override { options_.initialize = value; }
    void Action(BackupAction value) override { options_.action = value; }
    void Checksum(bool value) override { options_.checksum = value; }
    void Compression(bool value) override { options_.compression = value; }
    void CopyOnly(bool value) override { options_.copyOnly = value; }
    void StallSeconds(unsigned seconds) override
    {
        stallSeconds_ = seconds;
        options_.stats = seconds != 0;
    }

    // Throws kErrorInvalidArgument for a bad name or file list, or a server
    // object from another provider; kErrorUnexpected when not connected.
    void SQLBackup(SQLServer& server) override
    {
        const std::string statement = BackupStatement(database_, files_, options_);
        Connected(server).Execute(statement, stallSeconds_);
    }

    // Throws as SQLBackup; the server's error (3013 after the reason) when a
    // file does not hold a sound backup.
    void SQLVerify(SQLServer& server) override
    {
        const std::string statement = VerifyStatement(files_, options_.checksum, options_.stats);
        Connected(server).Execute(statement, stallSeconds_);
    }

private:
    static OdbcServer& Connected(SQLServer& server)
    {
        auto* odbcServer = dynamic_cast<OdbcServer*>(&server);
        if (odbcServer == nullptr) {
            throw brenlix::Error(kErrorInvalidArgument, kErrorSource,
                                 "The server object was not made by the ODBC provider.");
        }
        return *odbcServer;
    }

    std::string database_;
    std::string files_;
    BackupOptions options_;
    unsigned stallSeconds_ = 0;
};

class OdbcProviderImpl final : public Provider {
public:
    OdbcProviderImpl(std::string driver, unsigned loginTimeoutSeconds)
        : driver_(std::move(driver)), loginTimeoutSeconds_(loginTimeoutSeconds)
    {
    }

    std::unique_ptr<SQLServer> CreateSQLServer() override
    {
        return std::make_unique<OdbcServer>(driver_, loginTimeoutSeconds_);
    }
    std::unique_ptr<Backup> CreateBackup() override { return std::make_unique<OdbcBackup>(); }

private:
    std::string driver_;
    unsigned loginTimeoutSeconds_;
};

} // namespace

bool ReadAllResults(short first, const std::function<short()>& moreResults,
                    const std::function<void(short, int)>& onFirstFailure)
{
    bool failed = false;
    int failuresInARow = 0;
    SQLRETURN rc = first;
    for (int step = 0; rc != SQL_NO_DATA; ++step) {
        if (Succeeded(rc)) {
            failuresInARow = 0;
        } else {
            if (!failed) {
                onFirstFailure(rc, step);
                failed = true;
            }
            // Only SQL_ERROR leaves a statement that can move on to its next result.
            if (rc != SQL_ERROR || ++failuresInARow == kMaxFailuresInARow) {
                break;
            }
        }
        rc = moreResults();
    }
    return !failed;
}

std::string NoAnswerText(unsigned seconds)
{
    const bool minutes = seconds % 60 == 0;
    const unsigned count = minutes ? seconds / 60 : seconds;
    const char* unit = minutes ? (count == 1 ? " minut." : " minutter.") : (count == 1 ? " sekund." : " sekunder.");
    return "Intet svar fra serveren i " + std::to_string(count) + unit;
}

std::string DefaultOdbcDriver()
{
    const char* configured = std::getenv("DUNMARROW_ODBC_DRIVER");
    if (configured != nullptr && *configured != '\0') {
        return platform::FromAnsi(configured);
    }
    return DUNMARROW_DEFAULT_ODBC_DRIVER;
}

std::unique_ptr<Provider> MakeOdbcProvider(std::string driver, unsigned loginTimeoutSeconds)
{
    return std::make_unique<OdbcProviderImpl>(std::move(driver), loginTimeoutSeconds);
}

Provider& OdbcProvider()
{
    static const std::unique_ptr<Provider> provider = MakeOdbcProvider(DefaultOdbcDriver());
    return *provider;
}

} // namespace dunmarrow::sql
