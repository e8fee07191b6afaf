// ServiceManager driven late-bound from VBScript (cscript): the optional
// Booleans left out or given, and failing calls arriving in Err.
#include "RegisteredServer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing_support::ChildProcess;
using testing_support::ReadFile;
using testing_support::SplitLines;
using testing_support::WriteFile;

// The fixture of the service tests gives a name of this test's own and stops
// and removes that service afterwards, whatever the script left behind.
class ServiceManagerScript : public service_testing::ServiceTest {
protected:
    void SetUp() override { ASSERT_TRUE(server.Ready()) << "regsvr32 or CoInitialize failed"; }

    // Runs the lines after the object's set-up and gives what they wrote.
    std::vector<std::string> Run(const std::string& lines)
    {
        const std::string script = files.File("client.vbs");
        const std::string results = files.File("results.txt");
        std::string command = service_testing::TestServiceCommand(log);
        std::string quoted;
        for (char c : command) {
            quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        }
        WriteFile(script, "Set fso = CreateObject(\"Scripting.FileSystemObject\")\r\n"
                          "Set out = fso.CreateTextFile(\"" +
                              results +
                              "\", True)\r\n"
                              "Set sm = CreateObject(\"Brenlix.ServiceManager\")\r\n"
                              "sm.ServiceShortName = \"" +
                              name + "\"\r\nsm.ServiceLongName = \"" + name + " by a script\"\r\nsm.ServicePath = \"" +
                              quoted + "\"\r\nsm.MaxWaitForService = " + std::to_string(testing_support::kHangGuardMs) +
                              "\r\n" + lines + "out.Close\r\n");
        EXPECT_EQ(ChildProcess("cscript //nologo \"" + script + "\"").Wait(), 0u);
        return SplitLines(ReadFile(results));
    }

    com_testing::RegisteredServer server;
};

// A script hands a variable over by reference only to a VARIANT parameter:
// for the [in, out] VARIANT_BOOL* of these operations the Boolean goes in
// parentheses, by value, as script clients of such interfaces do on Windows.
TEST_F(ServiceManagerScript, OptionalBooleansLeftOutAreFalse)
{
    const std::vector<std::string> written = Run(
        // Left out, StartAfterInstall is False: installed and not started.
        "out.WriteLine \"InstallService \" & CInt(sm.InstallService)\r\n"
        "out.WriteLine \"ServiceStatus \" & sm.ServiceStatus\r\n"
        // Left out, WaitforStart is False: True once the request is sent.
        "out.WriteLine \"ServiceStart \" & CInt(sm.ServiceStart)\r\n"
        "waitFlag = True\r\n"
        "out.WriteLine \"ServiceStart((True)) \" & CInt(sm.ServiceStart((waitFlag)))\r\n"
        "out.WriteLine \"ServiceStatus \" & sm.ServiceStatus\r\n"
        "out.WriteLine \"ServiceStop \" & CInt(sm.ServiceStop)\r\n"
        "out.WriteLine \"ServiceStop((True)) \" & CInt(sm.ServiceStop((waitFlag)))\r\n"
        "out.WriteLine \"ServiceStatus \" & sm.ServiceStatus\r\n"
        // The service is there already: the system refuses a second one.
        "out.WriteLine \"InstallService(False) \" & CInt(sm.InstallService(False))\r\n"
        "out.WriteLine \"RemoveService \" & CInt(sm.RemoveService)\r\n"
        "out.WriteLine \"IsServiceInstalled \" & CInt(sm.IsServiceInstalled)\r\n");
    EXPECT_EQ(written, (std::vector<std::string>{"InstallService -1", "ServiceStatus 1", "ServiceStart -1",
                                                 "ServiceStart((True)) -1", "ServiceStatus 4", "ServiceStop -1",
                                                 "ServiceStop((True)) -1", "ServiceStatus 1",
                                                 "InstallService(False) 0", "RemoveService -1",
                                                 "IsServiceInstalled 0"}));
}

// ServiceManager raises an error only from InstallService's description
// step, when the registry refuses the key or the value; in a Wine prefix the
// registry refuses neither once the service is created, so the errors here
// are the ones the call itself raises: an array where a Boolean goes, and a
// variable passed by reference to a VARIANT_BOOL*. Neither reaches the object,
// and the variable keeps its value.
TEST_F(ServiceManagerScript, AFailingCallArrivesInErr)
{
    const std::vector<std::string> written =
        Run("sm.InstallService\r\n"
            "On Error Resume Next\r\n"
            "result = sm.ServiceStart(Array(1, 2))\r\n"
            "out.WriteLine Err.Number & \"|\" & Err.Source & \"|\" & Err.Description\r\n"
            "Err.Clear\r\n"
            "waitFlag = True\r\n"
            "result = sm.ServiceStart(waitFlag)\r\n"
            "out.WriteLine Err.Number & \"|\" & Err.Source & \"|\" & Err.Description & \"|\" & CInt(waitFlag)\r\n"
            "Err.Clear\r\n"
            "out.WriteLine \"ServiceStatus \" & sm.ServiceStatus & \" \" & Err.Number\r\n"
            "out.WriteLine \"RemoveService \" & CInt(sm.RemoveService)\r\n");
    EXPECT_EQ(written, (std::vector<std::string>{"13|Microsoft VBScript runtime error|Type mismatch",
                                                 "13|Microsoft VBScript runtime error|Type mismatch|-1",
                                                 "ServiceStatus 1 0", "RemoveService -1"}));
}

} // namespace
