#include "sql/Kerberos.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace dunmarrow::sql {

namespace {

// The few GSSAPI declarations used, as the C interface defines them (RFC 2744).
using OmUint32 = std::uint32_t;
struct GssBuffer {
    std::size_t length;
    void* value;
};
constexpr int kGssCInitiate = 1;
constexpr int kGssCGssCode = 1;
constexpr int kGssCMechCode = 2;
constexpr OmUint32 kGssCIndefinite = 0xFFFFFFFFu;

using AcquireCred = OmUint32 (*)(OmUint32*, void*, OmUint32, void*, int, void**, void**, OmUint32*);
using ReleaseCred = OmUint32 (*)(OmUint32*, void**);
using DisplayStatus = OmUint32 (*)(OmUint32*, OmUint32, int, void*, OmUint32*, GssBuffer*);
using ReleaseBuffer = OmUint32 (*)(OmUint32*, GssBuffer*);

// The library is opened only to explain a failure, so the program needs it
// only where integrated logins go through Kerberos.
class Gssapi {
public:
    Gssapi() : library_(dlopen("libgssapi_krb5.so.2", RTLD_NOW | RTLD_LOCAL)) {}
    ~Gssapi()
    {
        if (library_ != nullptr) {
            dlclose(library_);
        }
    }
    Gssapi(const Gssapi&) = delete;
    Gssapi& operator=(const Gssapi&) = delete;

    template <typename Function> Function Find(const char* name) const
    {
        return library_ == nullptr ? nullptr : reinterpret_cast<Function>(dlsym(library_, name));
    }

private:
    void* library_;
};

std::string StatusText(const Gssapi& gssapi, OmUint32 code, int kind)
{
    const auto display = gssapi.Find<DisplayStatus>("gss_display_status");
    const auto release = gssapi.Find<ReleaseBuffer>("gss_release_buffer");
    if (display == nullptr || release == nullptr) {
        return {};
    }
    std::string text;
    OmUint32 context = 0;
    do {
        OmUint32 minor = 0;
        GssBuffer buffer{0, nullptr};
        if (display(&minor, code, kind, nullptr, &context, &buffer) != 0) {
            break;
        }
        text += (text.empty() ? "" : "; ") + std::string(static_cast<const char*>(buffer.value), buffer.length);
        release(&minor, &buffer);
    } while (context != 0);
    return text;
}

// Why the ticket cache that KRB5CCNAME names as a file cannot be read by this
// user (another user's cache, as when a run drops its rights but keeps the
// environment); empty otherwise. MIT Kerberos 1.20 may crash when it looks
// through such a cache for credentials, so it is not asked then.
std::string UnreadableCache()
{
    const char* name = std::getenv("KRB5CCNAME");
    if (name == nullptr) {
        return {};
    }
    std::string path = name;
    if (path.rfind("FILE:", 0) == 0) {
        path.erase(0, 5);
    } else if (path.find(':') != std::string::npos) {
        return {}; // a cache of another kind
    }
    if (path.empty() || ::faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) != 0 ||
        ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0) {
        return {};
    }
    return "the Kerberos ticket cache " + path + " cannot be read by this user: " + std::strerror(errno);
}

} // namespace

std::string MissingKerberosTicket()
{
    if (std::string unreadable = UnreadableCache(); !unreadable.empty()) {
        return unreadable;
    }
    const Gssapi gssapi;
    const auto acquire = gssapi.Find<AcquireCred>("gss_acquire_cred");
    const auto releaseCred = gssapi.Find<ReleaseCred>("gss_release_cred");
    if (acquire == nullptr || releaseCred == nullptr) {
        return "the Kerberos library libgssapi_krb5.so.2 cannot be loaded";
    }
    OmUint32 minor = 0;
    void* credentials = nullptr;
    const OmUint32 major =
        acquire(&minor, nullptr, kGssCIndefinite, nullptr, kGssCInitiate, &credentials, nullptr, nullptr);
    if (credentials != nullptr) {
        OmUint32 ignored = 0;
        releaseCred(&ignored, &credentials);
    }
    if ((major >> 16) == 0) {
        return {};
    }
    // The mechanism's text names the ticket cache it looked in.
    std::string reason = StatusText(gssapi, minor, kGssCMechCode);
    return reason.empty() ? StatusText(gssapi, major, kGssCGssCode) : reason;
}

} // namespace dunmarrow::sql
