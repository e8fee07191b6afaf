// The Windows test service, taking the Linux test daemon's options: running once started; asked to stop,
// stop-pending with a wait hint of 1000 ms (as the Linux substitutes give) until the hold file exists.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string logFile, holdFile;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopRequested = CreateEventA(nullptr, TRUE, FALSE, nullptr);

void Report(DWORD state, const std::string& line, DWORD waitHint = 0)
{
    if (FILE* file = line.empty() ? nullptr : std::fopen(logFile.c_str(), "ab")) {
        std::fprintf(file, "%s\n", line.c_str()), std::fclose(file);
    }
    const DWORD accepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, accepted, NO_ERROR, 0, waitHint != 0, waitHint};
    SetServiceStatus(statusHandle, &status);
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    statusHandle = RegisterServiceCtrlHandlerA("", [](DWORD control) -> void WINAPI {
        if (control == SERVICE_CONTROL_STOP) {
            Report(SERVICE_STOP_PENDING, "", 1000), SetEvent(stopRequested);
        }
    });
    Report(SERVICE_RUNNING, "start " + std::to_string(GetCurrentProcessId()) + "\nrunning");
    WaitForSingleObject(stopRequested, INFINITE);
    while (!holdFile.empty() && GetFileAttributesA(holdFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
        Sleep(10);
    }
    Report(SERVICE_STOPPED, "stopped");
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; i += 2) {
        (std::string(argv[i]) == "--log" ? logFile : holdFile) = argv[i + 1];
    }
    char name[] = "";
    const SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
}
