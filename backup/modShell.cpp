#include "modShell.h"

#include "Program.h"

#include <platform/Clock.h>
#include <platform/Text.h>
#include <platform/UniqueHandle.h>
#include <platform/Win32.h>

#include <brenlix/Error.h>

namespace dunmarrow {

namespace {

constexpr std::uint32_t kPollMilliseconds = 20;

// Returns the new process's handle; its thread handle is closed at once.
platform::UniqueKernelHandle StartProcess(const std::string& commandLine, DWORD& processId)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINNOACTIVE;
    PROCESS_INFORMATION info{};
    std::string line = platform::ToAnsi(commandLine); // CreateProcessA may write into it

    SetLastError(0);
    const BOOL started =
        CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    CaptureLastDllError();
    if (!started) {
        throw brenlix::Win32Error(LastDllError(), "Dunmarrow");
    }
    CloseHandle(info.hThread);
    processId = info.dwProcessId;
    return platform::UniqueKernelHandle(info.hProcess);
}

// Whether the process has ended is asked of the process itself: an exit code
// of 259 (STILL_ACTIVE) is an exit code like any other. A process that could
// not be opened, or cannot be asked, is not waited for.
bool HasEnded(HANDLE process)
{
    if (process == nullptr) {
        return true;
    }
    DWORD exitCode = 0;
    SetLastError(0);
    const BOOL queried = GetExitCodeProcess(process, &exitCode);
    CaptureLastDllError();
    const DWORD wait = WaitForSingleObject(process, 0);
    return wait == WAIT_OBJECT_0 || (wait == WAIT_FAILED && (!queried || exitCode != STILL_ACTIVE));
}

} // namespace

bool RunAndWait(const std::string& strCommand, std::int32_t lngWait)
{
    try {
        const platform::Clock& clock = platform::CurrentClock();
        // The limit is measured on the monotonic clock, so it holds across
        // midnight, for limits of days, and when the time of day is changed.
        const std::uint64_t start = clock.MonotonicMilliseconds();

        DWORD processId = 0;
        platform::UniqueKernelHandle created = StartProcess(strCommand, processId);

        SetLastError(0);
        const platform::UniqueKernelHandle process(
            OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, processId));
        CaptureLastDllError();
        created.reset();

        // Each pass asks the process, looks at the clock, and pauses. The end
        // is asked again after the pause, so it is noticed within one pause.
        const bool endedAtOnce = HasEnded(process.get());
        while (true) {
            // The program has no windows, so there are no events to process here.
            if (lngWait != 0 &&
                (lngWait < 0 || clock.MonotonicMilliseconds() - start > static_cast<std::uint64_t>(lngWait))) {
                break;
            }
            Pause(kPollMilliseconds);
            if (endedAtOnce || HasEnded(process.get())) {
                break;
            }
        }
        return true;
    } catch (...) {
        const brenlix::Error error = AsError(std::current_exception());
        ProgramLog().WriteToLog("Shell fejl " + std::to_string(error.Number()) + " " + error.Description(), 0,
                                brenlix::LogFileTypeError);
        return false;
    }
}

} // namespace dunmarrow
