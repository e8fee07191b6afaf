// ServiceManager from VBScript; the service tests' fixture names the service and removes it.
#include "RegisteredServer.h"
#include "ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ServiceManagerScript : service_testing::ServiceTest {
    void SetUp() override { ASSERT_TRUE(server.ready) << "regsvr32 or CoInitialize failed"; }
    com_testing::RegisteredServer server;
};

// A script passes by reference only to a VARIANT, so the Boolean for a VARIANT_BOOL* goes in parentheses, by value.
TEST_F(ServiceManagerScript, OptionalBooleansLeftOutAreFalse)
{
    std::string path = service_testing::TestServiceCommand(log);
    for (std::size_t quote = path.find('"'); quote != std::string::npos; quote = path.find('"', quote + 2)) {
        path.insert(quote, 1, '"');
    }
    std::string script = "Set sm = CreateObject(\"Brenlix.ServiceManager\")\r\nsm.ServiceShortName = \"" + name +
                         "\"\r\nsm.ServiceLongName = \"" + name + " by a script\"\r\nsm.ServicePath = \"" + path +
                         "\"\r\nsm.MaxWaitForService = " + std::to_string(testing_support::kHangGuardMs) +
                         "\r\nwaitFlag = True\r\n";
    const std::pair<const char*, int> calls[] = {
        {"InstallService", -1}, {"ServiceStatus", 1}, {"ServiceStart", -1}, {"ServiceStart((waitFlag))", -1},
        {"ServiceStatus", 4}, {"ServiceStop", -1}, {"ServiceStop((waitFlag))", -1}, {"ServiceStatus", 1},
        {"InstallService(False)", 0}, {"RemoveService", -1}, {"IsServiceInstalled", 0}};
    std::vector<std::string> expected;
    for (const auto& [call, result] : calls) {
        script += "out.WriteLine \"" + std::string(call) + " \" & CInt(sm." + call + ")\r\n";
        expected.push_back(call + (" " + std::to_string(result)));
    }
    EXPECT_EQ(com_testing::RunScript(files, script), expected);
}

} // namespace
