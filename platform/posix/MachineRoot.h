// Where the substitutes keep state. The machine's: $BRENLIX_ROOT, or
// /var/lib/brenlix when it is unset or empty, readable by every user and
// written by root. The calling user's (HKEY_CURRENT_USER): $XDG_CONFIG_HOME/brenlix,
// by default ~/.config/brenlix, the user's alone (see UserConfigFolder).
#pragma once

#include <brenlix/Export.h>

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace platform::posix {

// Modes the substitutes give what they create, whatever the umask.
constexpr mode_t kMachineFolderMode = 0755;
constexpr mode_t kMachineFileMode = 0644;
constexpr mode_t kUserFolderMode = 0700;
constexpr mode_t kUserFileMode = 0600;

// Without a trailing separator.
std::string MachineRoot();

// <root>/windows, the Windows folder of the substitutes (WIN.INI lives there).
std::string WindowsFolder();

// $XDG_CONFIG_HOME/brenlix, else $HOME/.config/brenlix, else the same under
// the home folder of the effective user's account (its passwd entry). A
// variable counts only when it is an absolute path whose folder, or the
// nearest folder above it that exists, the effective user owns: root run
// with another user's environment (sudo -E) keeps its hive in its own home,
// not in theirs. Looked up on every call: a process that changes its user or
// environment gets the new user's folder. Exported for the tests.
BRENLIX_API std::string UserConfigFolder();

// Empty when no one but root and the caller may change the path as given:
// each folder on it, the file, and any symbolic link on the way (and where it
// leads). Otherwise the first place on it that someone else may change. Above
// the machine root a folder others may write is accepted when it is sticky
// (as /tmp: no one may take away or rename what another made there); the
// machine root and everything below it may be written by no one else at all,
// so no other user can put a file, a folder or a link where the machine's
// state goes.
BRENLIX_API std::string MachinePathOpenToOthers(const std::string& path);

// ERROR_SUCCESS, or ERROR_ACCESS_DENIED with a line on the standard error
// stream (once per path and process) when someone else may change the path
// (see above); what names what the path is used as.
std::uint32_t CheckMachinePath(const std::string& path, const char* what);

// Creates the folder and any missing parents, each with exactly mode (set
// with fchmod on the folder just made, so the umask takes nothing away);
// folders that exist are left as they are. False, with errno set, when it cannot be had.
bool MakeFolders(const std::string& path, mode_t mode = kMachineFolderMode);

} // namespace platform::posix
