#include "sql/Kerberos.h"

namespace dunmarrow::sql {

// The driver's integrated login uses the logon session of the account the
// program runs under; there is no ticket of its own to look for.
std::string MissingKerberosTicket()
{
    return {};
}

} // namespace dunmarrow::sql
