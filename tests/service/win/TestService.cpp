// The Windows test service, a real service program: start-pending, then
// running; asked to stop, stop-pending with a wait hint of 1000 ms (as the
// Linux substitutes give) until --hold's file exists, then stopped.
#include "../ServiceOptions.h"

#include <windows.h>

namespace {

test_service::Options options;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = nullptr;

void Log(const std::string& line)
{
    const HANDLE file = CreateFileA(options.log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        const std::string text = line + "\n";
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
    }
}

void Report(DWORD state, DWORD waitHint)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwCheckPoint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? 1 : 0;
    status.dwWaitHint = waitHint;
    SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING, 1000);
        SetEvent(stopRequested);
    }
    return control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_INTERROGATE ? NO_ERROR
                                                                                      : ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    if ((statusHandle = RegisterServiceCtrlHandlerExA("", Handler, nullptr)) == nullptr) {
        return;
    }
    Log("start " + std::to_string(GetCurrentProcessId()));
    Report(SERVICE_START_PENDING, 0);
    Log("running");
    Report(SERVICE_RUNNING, 0);
    WaitForSingleObject(stopRequested, INFINITE);
    Log("stop");
    while (!options.hold.empty() && GetFileAttributesA(options.hold.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Sleep(10);
    }
    Log("stopped");
    Report(SERVICE_STOPPED, 0);
}

} // namespace

int main(int argc, char** argv)
{
    if (!test_service::Parse(argc, argv, options)) {
        return 2;
    }
    stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    char name[] = "";
    const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
}
