// The SQL Server objects over ODBC, with the driver chosen by the caller.
#pragma once

#include "sql/SqlDmo.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace dunmarrow::sql {

// E_FAIL: the number of a failure that carries no native error number, such
// as a driver manager error, as ADO reports it.
inline constexpr std::int32_t kErrorUnspecified = -2147467259;
// E_UNEXPECTED: SQLBackup on a server object that is not connected, or
// Connect on one that already is.
inline constexpr std::int32_t kErrorUnexpected = -2147418113;

// The driver OdbcProvider() connects through: DUNMARROW_ODBC_DRIVER from the
// environment when set, else the build's default ("SQL Server" on Windows,
// "FreeTDS" elsewhere).
std::string DefaultOdbcDriver();

// How long Connect waits for a server that does not complete the login.
inline constexpr unsigned kLoginTimeoutSeconds = 60;

// The longest wait, after a stalled statement was cancelled, for the server's
// acknowledgement (a shorter stall limit shortens it to that limit). A server
// that sends none is left: its connection is abandoned, not closed, since the
// driver still waits on it.
inline constexpr unsigned kAttentionSeconds = 30;

// The reason of a stall: "Intet svar fra serveren i 5 minutter." (seconds
// when the limit is not whole minutes).
std::string NoAnswerText(unsigned seconds);

// A provider whose server objects connect through the named ODBC driver. A
// failed ODBC call raises an Error with the first error record's native number
// (kErrorUnspecified when it is 0) and the records' message texts.
std::unique_ptr<Provider> MakeOdbcProvider(std::string driver, unsigned loginTimeoutSeconds = kLoginTimeoutSeconds);

// Reads a statement's results and messages to the end: calls moreResults
// (SQLMoreResults) until it returns SQL_NO_DATA, since closing the statement
// earlier aborts a backup on the server. first is what SQLExecDirectW
// returned. onFirstFailure(returnCode, step) runs at the first step that did
// not succeed (step 0 is the execution), while its diagnostics can still be
// read. Returns false when any step failed.
bool ReadAllResults(short first, const std::function<short()>& moreResults,
                    const std::function<void(short, int)>& onFirstFailure);

} // namespace dunmarrow::sql
