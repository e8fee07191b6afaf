// A small program that the tests start as a real process.
//   testchild exit N               ends with exit code N
//   testchild sleep MS [PIDFILE ...] writes its process id to PIDFILE, then sleeps
//   testchild args FILE [ARG...]   writes each argument on a line of its own to FILE
//   testchild log FILE COUNT TAG   writes COUNT lines "TAG n" through FileLog
//   testchild regwrite KEY COUNT PREFIX [abandon]
//                                  sets COUNT REG_SZ values "PREFIXn" = "PREFIXn" in
//                                  HKEY_CURRENT_USER\KEY (made if missing), one
//                                  call each; with abandon, ends right after the
//                                  last without closing anything
//   testchild event SOURCE COUNT   reports COUNT events of SOURCE, event id n
//                                  with the one string "SOURCE n", one call each
//   testchild register PREFIX COUNT
//                                  registers the event sources PREFIX0 ...
//                                  PREFIX<COUNT-1> through EventLog, one each
#include <brenlix/EventLog.h>
#include <brenlix/FileLog.h>
#include <platform/Win32.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv)
{
    if (argc < 2) {
        return 100;
    }
    const std::string command = argv[1];
    if (command == "exit" && argc == 3) {
        return std::atoi(argv[2]);
    }
    if (command == "sleep" && argc >= 3) {
        if (argc >= 4) {
            std::ofstream(argv[3], std::ios::binary) << GetCurrentProcessId() << '\n'; // complete once the line ends
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(argv[2])));
        return 0;
    }
    if (command == "args" && argc >= 3) {
        std::ofstream out(argv[2], std::ios::binary);
        for (int i = 3; i < argc; ++i) {
            out << argv[i] << '\n';
        }
        return 0;
    }
    if (command == "log" && argc == 5) {
        brenlix::FileLog log;
        log.LogFile(argv[2]);
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            log.WriteToLog(std::string(argv[4]) + " " + std::to_string(i));
        }
        return 0;
    }
    if (command == "regwrite" && (argc == 5 || (argc == 6 && std::string(argv[5]) == "abandon"))) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, argv[2], 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS) {
            return 2;
        }
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            const std::string name = argv[4] + std::to_string(i);
            if (RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                               static_cast<DWORD>(name.size() + 1)) != ERROR_SUCCESS) {
                return 3;
            }
        }
        if (argc == 6) {
            std::_Exit(0);
        }
        RegCloseKey(key);
        return 0;
    }
    if (command == "event" && argc == 4) {
        const HANDLE source = RegisterEventSourceA(nullptr, argv[2]);
        if (source == nullptr) {
            return 2;
        }
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            const std::string text = std::string(argv[2]) + " " + std::to_string(i);
            LPCSTR strings[] = {text.c_str()};
            if (!ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, static_cast<DWORD>(i), nullptr, 1, 0, strings,
                              nullptr)) {
                return 3;
            }
        }
        return DeregisterEventSource(source) ? 0 : 4;
    }
    if (command == "register" && argc == 4) {
        const int count = std::atoi(argv[3]);
        for (int i = 0; i < count; ++i) {
            brenlix::EventLog log;
            log.ApplicationName(std::string(argv[2]) + std::to_string(i));
        }
        return 0;
    }
    return 101;
}
