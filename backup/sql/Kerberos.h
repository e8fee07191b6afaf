// What the integrated login lacks on a platform where it rests on a Kerberos
// ticket of the user's own (Linux: kinit); used to explain a failed connection.
#pragma once

#include <string>

namespace dunmarrow::sql {

// Why no Kerberos ticket can be offered to a server (the GSSAPI's own text,
// such as "No Kerberos credentials available (default cache: FILE:/tmp/x)"),
// or empty when there is one, or when the platform logs in through the user's
// logon session instead (Windows).
std::string MissingKerberosTicket();

} // namespace dunmarrow::sql
