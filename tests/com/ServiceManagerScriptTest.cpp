// ServiceManager driven late-bound from VBScript, its optional Booleans left
// out or given. The service tests' fixture gives a service name of this test's
// own and removes that service.
#include "RegisteredServer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ServiceManagerScript : public service_testing::ServiceTest {
protected:
    void SetUp() override { ASSERT_TRUE(server.ready) << "regsvr32 or CoInitialize failed"; }

    // Runs the lines after the object's set-up and gives what they wrote.
    std::vector<std::string> Run(const std::string& lines)
    {
        std::string path = service_testing::TestServiceCommand(log);
        for (std::size_t quote = path.find('"'); quote != std::string::npos; quote = path.find('"', quote + 2)) {
            path.insert(quote, 1, '"');
        }
        return com_testing::RunScript(files, "Set sm = CreateObject(\"Brenlix.ServiceManager\")\r\nsm.ServiceShortName = \"" +
            name + "\"\r\nsm.ServiceLongName = \"" + name + " by a script\"\r\nsm.ServicePath = \"" + path +
            "\"\r\nsm.MaxWaitForService = " + std::to_string(testing_support::kHangGuardMs) + "\r\n" + lines);
    }

    com_testing::RegisteredServer server;
};

// A script hands a variable by reference only to a VARIANT parameter: for
// the [in, out] VARIANT_BOOL* of these operations the Boolean goes in
// parentheses, by value, as script clients of such interfaces do on Windows.
// Left out, StartAfterInstall and WaitforStart are False. The service is
// there already at the second InstallService: the system refuses it.
TEST_F(ServiceManagerScript, OptionalBooleansLeftOutAreFalse)
{
    std::string script = "waitFlag = True\r\n";
    for (const char* call : {"InstallService", "ServiceStatus", "ServiceStart", "ServiceStart((waitFlag))",
                             "ServiceStatus", "ServiceStop", "ServiceStop((waitFlag))", "ServiceStatus",
                             "InstallService(False)", "RemoveService", "IsServiceInstalled"}) {
        script += "out.WriteLine \"" + std::string(call) + " \" & CInt(sm." + call + ")\r\n";
    }
    EXPECT_EQ(Run(script),
              (std::vector<std::string>{"InstallService -1", "ServiceStatus 1", "ServiceStart -1",
                                        "ServiceStart((waitFlag)) -1", "ServiceStatus 4", "ServiceStop -1",
                                        "ServiceStop((waitFlag)) -1", "ServiceStatus 1", "InstallService(False) 0",
                                        "RemoveService -1", "IsServiceInstalled 0"}));
}

} // namespace
