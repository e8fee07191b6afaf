// Built by tests/package/run as a project outside this tree builds one: consumer LOGFILE INIFILE writes one
// information line to LOGFILE and prints Greeting in [General] of INIFILE.
#include <brenlix/FileLog.h>
#include <brenlix/IniFile.h>

#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: consumer LOGFILE INIFILE\n";
        return 2;
    }
    brenlix::FileLog log;
    log.LogFile(argv[1]);
    log.LogInfoFile("Written by the consumer");

    brenlix::IniFile ini;
    ini.FullPath(argv[2]);
    ini.SectionName("General");
    std::cout << ini.GetString("Greeting", "missing") << '\n';
    return 0;
}
