// The Windows test service: a real service program. Started by the service
// control manager it reports start-pending with its wait hint, then running,
// and on a stop request stop-pending with its wait hint, then stopped.
#include "../ServiceOptions.h"

#include <windows.h>

#include <cstdio>

namespace {

test_service::Options options;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = nullptr;

void Log(const std::string& line)
{
    if (options.log.empty()) {
        return;
    }
    const HANDLE file = CreateFileA(options.log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

void Report(DWORD state, DWORD waitHint, DWORD checkPoint)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
        Report(SERVICE_STOP_PENDING, options.stopHint, 1);
        SetEvent(stopRequested);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    statusHandle = RegisterServiceCtrlHandlerExA("", Handler, nullptr);
    if (statusHandle == nullptr) {
        return;
    }
    Log("start " + std::to_string(GetCurrentProcessId()));
    Report(SERVICE_START_PENDING, options.startHint, 1);
    Sleep(options.startMs);
    Log("running");
    Report(SERVICE_RUNNING, 0, 0);
    WaitForSingleObject(stopRequested, INFINITE);
    Log("stop");
    while (!options.hold.empty() && GetFileAttributesA(options.hold.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Sleep(10);
    }
    Sleep(options.stopMs);
    Log("stopped");
    Report(SERVICE_STOPPED, 0, 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (!test_service::Parse(argc, argv, options)) {
        return 2;
    }
    if (options.console) {
        // The dispatcher would wait for a service control manager that never
        // calls (Wine gives up after 10 s).
        std::puts("testservice: a service program; the service control manager starts it");
        return 0;
    }
    stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char name[] = "";
    const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
}
