// A compiled client of the library built against the published interfaces
// (PublishedInterfaces.h, not the library's generated header): it creates
// each class by its identifier and calls members by their slots, so a slot
// that moved or changed its signature shows here as a wrong result.
#include "PublishedInterfaces.h"
#include "RegisteredServer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

namespace {

using com_testing::Com;
using com_testing::Narrow;
using com_testing::Text;
using testing_support::TempDir;
using testing_support::WriteFile;

class PublishedClient : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Ready()) << "regsvr32 or CoInitialize failed"; }

    template <class Interface>
    Com<Interface> Create(const published::PublishedClass& cls)
    {
        Interface* object = nullptr;
        EXPECT_EQ(CoCreateInstance(published::Guid(cls.clsid), nullptr, CLSCTX_INPROC_SERVER,
                                   published::Guid(cls.iid), reinterpret_cast<void**>(&object)),
                  S_OK)
            << cls.name;
        return Com<Interface>(object);
    }

    com_testing::RegisteredServer server;
};

// Where a slot's signature differs from the published one in its number of
// parameters, calling it would unbalance the stack (or, past the end of the
// vtable, jump anywhere). The library's own description of the slot tells
// whether the call is safe; the empty text when it is.
std::string UnsafeSlot(const published::PublishedClass& cls, std::size_t slot, const char* name, SHORT params)
{
    const std::string path = com_testing::LibraryPath();
    ITypeLib* library = nullptr;
    if (LoadTypeLibEx(std::wstring(path.begin(), path.end()).c_str(), REGKIND_NONE, &library) != S_OK) {
        return "no type library";
    }
    ITypeInfo* dispatch = nullptr;
    ITypeInfo* face = nullptr;
    HREFTYPE half = 0;
    std::string problem = std::string(name) + " is not in slot " + std::to_string(slot);
    if (library->GetTypeInfoOfGuid(published::Guid(cls.iid), &dispatch) == S_OK &&
        dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &half) == S_OK &&
        dispatch->GetRefTypeInfo(half, &face) == S_OK) {
        for (UINT i = 0;; ++i) {
            FUNCDESC* function = nullptr;
            if (face->GetFuncDesc(i, &function) != S_OK) {
                break;
            }
            if (static_cast<std::size_t>(function->oVft) / sizeof(void*) == 6 + slot) {
                problem = function->cParams == params
                              ? ""
                              : std::string(name) + " in slot " + std::to_string(slot) + " takes " +
                                    std::to_string(function->cParams) + " parameters, not " + std::to_string(params);
            }
            face->ReleaseFuncDesc(function);
        }
        face->Release();
    }
    if (dispatch != nullptr) {
        dispatch->Release();
    }
    library->Release();
    return problem;
}

TEST_F(PublishedClient, CreatesEveryClassByItsIdentifiers)
{
    for (const published::PublishedClass* cls : published::kClasses) {
        const Com<IDispatch> object = Create<IDispatch>(*cls);
        EXPECT_NE(object, nullptr) << cls->name;
    }
}

TEST_F(PublishedClient, FileLogWritesThroughItsSlots)
{
    const TempDir dir;
    const std::string logPath = dir.File("client.log");
    const Com<published::_FileLog> log = Create<published::_FileLog>(published::kFileLog);
    ASSERT_NE(log, nullptr);
    BSTR path = Text(logPath);
    EXPECT_EQ(log->put_LogFile(path), S_OK);

    BSTR message = Text("Written at slot five");
    const BSTR passed = message;
    LONG level = 0;
    published::LogFileType type = published::LogFileTypeWarning;
    EXPECT_EQ(log->WriteToLog(&message, &level, &type), S_OK);
    EXPECT_EQ(message, passed);
    EXPECT_EQ(Narrow(message), "Written at slot five");
    EXPECT_EQ(level, 0);
    EXPECT_EQ(type, published::LogFileTypeWarning);
    // Error before warning in the slot order: a swap shows as swapped words.
    BSTR error = Text("Error at slot seven");
    BSTR warning = Text("Warning at slot eight");
    EXPECT_EQ(log->LogErrorFile(&error, &level), S_OK);
    EXPECT_EQ(log->LogWarningFile(&warning, &level), S_OK);

    BSTR stored = nullptr;
    EXPECT_EQ(log->get_LogFile(&stored), S_OK);
    EXPECT_EQ(Narrow(stored), logPath);
    for (BSTR text : {path, message, error, warning, stored}) {
        SysFreeString(text);
    }
    EXPECT_EQ(testing_support::LogEntries(logPath),
              (std::vector<std::string>{"WARNING|Written at slot five", "ERROR|Error at slot seven",
                                        "WARNING|Warning at slot eight"}));
}

// The text of WriteEventLog goes by reference. Should the slot take it by
// value instead, it reads the pointer it gets as a BSTR: this frame gives the
// pointer a length prefix and a terminator, so such a slot takes a few odd
// characters for the text instead of reading wild memory.
struct TextByReference {
    UINT padding = 0;
    UINT prefix = sizeof(BSTR);
    BSTR text = nullptr;
    WCHAR end[2] = {};
};
static_assert(offsetof(TextByReference, text) == offsetof(TextByReference, prefix) + sizeof(UINT));

// No application name is set: that would register an event source in the
// machine's registry. Wine's event log takes any event and keeps none, so
// the written text is read back from the object.
TEST_F(PublishedClient, WriteEventLogTakesEveryArgumentByReference)
{
    const Com<published::_EventLog> events = Create<published::_EventLog>(published::kEventLog);
    ASSERT_NE(events, nullptr);
    auto type = static_cast<published::EventLogTypes>(4); // information
    TextByReference frame;
    frame.text = Text("Insertion text by reference");
    const BSTR passed = frame.text;
    LONG id = 7;
    LONG written = 0;
    EXPECT_EQ(events->WriteEventLog(&type, &frame.text, &id, &written), S_OK);
    EXPECT_EQ(written, -1);
    EXPECT_EQ(type, 4);
    EXPECT_EQ(frame.text, passed);
    EXPECT_EQ(Narrow(frame.text), "Insertion text by reference");
    EXPECT_EQ(id, 7);
    BSTR stored = nullptr;
    EXPECT_EQ(events->get_EventTekst(&stored), S_OK);
    EXPECT_EQ(Narrow(stored), "Insertion text by reference");
    LONG number = 1;
    EXPECT_EQ(events->get_LastEventErrNum(&number), S_OK);
    EXPECT_EQ(number, 0);
    SysFreeString(stored);
    SysFreeString(frame.text);
}

TEST_F(PublishedClient, IniReadKeepsWhatItReadForIniReadResult)
{
    const TempDir dir;
    const std::string readFrom = dir.File("read from.ini");
    WriteFile(readFrom, "[Jobs]\r\nName=Nightly\r\nCount=42\r\n");
    const Com<published::_IniFile> ini = Create<published::_IniFile>(published::kIniFile);
    ASSERT_NE(ini, nullptr);
    BSTR own = Text(dir.File("own.list.ini"));
    EXPECT_EQ(ini->put_FullPath(own), S_OK);
    BSTR name = nullptr;
    EXPECT_EQ(ini->get_FileName(&name), S_OK);
    EXPECT_EQ(Narrow(name), "own");
    SysFreeString(name);

    const std::string readSlot = UnsafeSlot(published::kIniFile, 24, "IniRead", 7);
    const std::string resultSlot = UnsafeSlot(published::kIniFile, 31, "IniReadResult", 1);
    ASSERT_EQ(readSlot + (readSlot.empty() || resultSlot.empty() ? "" : "; ") + resultSlot, "") << "not called: the slots differ from the published ones";
    BSTR result = nullptr;
    EXPECT_EQ(ini->get_IniReadResult(&result), S_OK);
    EXPECT_EQ(Narrow(result), "") << "before any IniRead";
    SysFreeString(result);

    struct Row {
        const char* entry;
        SHORT defaultInt;
        VARIANT_BOOL readNumber;
        const char* expected;
    };
    const Row rows[] = {
        {"Name", 5, VARIANT_FALSE, "Nightly"},
        {"Missing", 5, VARIANT_FALSE, "fallback"},
        {"Count", 5, VARIANT_TRUE, "42"},
        {"Missing", -5, VARIANT_TRUE, "-5"},
    };
    BSTR section = Text("Jobs");
    BSTR fallback = Text("fallback");
    BSTR returnStr = Text("");
    BSTR file = Text(readFrom);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry + std::string(row.readNumber ? " as a number" : " as text"));
        BSTR entry = Text(row.entry);
        EXPECT_EQ(ini->IniRead(section, entry, row.defaultInt, fallback, returnStr, row.readNumber, file), S_OK);
        EXPECT_EQ(ini->get_IniReadResult(&result), S_OK);
        EXPECT_EQ(Narrow(result), row.expected);
        SysFreeString(result);
        SysFreeString(entry);
    }
    BSTR path = nullptr;
    EXPECT_EQ(ini->get_FullPath(&path), S_OK);
    EXPECT_EQ(Narrow(path), Narrow(own)) << "the path argument is not the object's";
    for (BSTR text : {section, fallback, returnStr, file, path, own}) {
        SysFreeString(text);
    }
}

// The optional Boolean of ServiceStart goes by reference and comes back as passed.
TEST_F(PublishedClient, ServiceManagerAndKvRegistryAnswerAtTheirSlots)
{
    const Com<published::_ServiceManager> services = Create<published::_ServiceManager>(published::kServiceManager);
    ASSERT_NE(services, nullptr);
    BSTR missing = Text("BrenlixClient" + std::to_string(GetCurrentProcessId()) + "NotInstalled");
    EXPECT_EQ(services->put_ServiceShortName(missing), S_OK);
    VARIANT_BOOL wait = VARIANT_TRUE;
    VARIANT_BOOL started = VARIANT_TRUE;
    EXPECT_EQ(services->ServiceStart(&wait, &started), S_OK);
    EXPECT_EQ(started, VARIANT_FALSE);
    EXPECT_EQ(wait, VARIANT_TRUE);
    auto state = static_cast<published::ServiceState>(-1);
    EXPECT_EQ(services->ServiceStatus(&state), S_OK);
    EXPECT_EQ(state, published::STATE_SERVICE_UNKNOWN);
    LONG maxWait = 0;
    EXPECT_EQ(services->get_MaxWaitForService(&maxWait), S_OK);
    EXPECT_EQ(maxWait, 5000);
    SysFreeString(missing);

    const Com<published::_KvRegistry> registry = Create<published::_KvRegistry>(published::kKvRegistry);
    ASSERT_NE(registry, nullptr);
    EXPECT_EQ(registry->put_ClassKey(static_cast<published::ERegistryClassConstants>(-2147483647L)), S_OK);
    auto root = static_cast<published::ERegistryClassConstants>(0);
    EXPECT_EQ(registry->get_ClassKey(&root), S_OK);
    EXPECT_EQ(root, -2147483647L);
    auto type = static_cast<published::ERegistryValueTypes>(-1);
    EXPECT_EQ(registry->get_ValueType(&type), S_OK);
    EXPECT_EQ(type, 0);
}

} // namespace
