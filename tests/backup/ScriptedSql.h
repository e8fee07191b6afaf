// A scripted SQL layer: records every call, fails where the test says, and its backup writes the file in Files.
#pragma once

#include "JobOptions.h"
#include "Program.h"
#include "sql/SqlDmo.h"

#include <brenlix/Error.h>

#include "TestSupport.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

// The optional keys in their order: Type, Checksum, Compress, CopyOnly, Verify, KeepDays, EventLog.
inline dunmarrow::JobKeys Keys(std::vector<std::string> values)
{
    values.resize(7);
    return {values[0], values[1], values[2], values[3], values[4], values[5], values[6]};
}

struct RecordedDiagnostics {
    std::vector<std::string> events;
    dunmarrow::ScopedDiagnosticSink sink{[this](brenlix::EventLogTypes type, dunmarrow::DiagnosticEvent id, const std::string& reason) {
        events.push_back(std::to_string(type) + " " + std::to_string(id) + " " + reason);
    }};
};

struct Script {
    std::vector<std::string> calls;
    std::set<std::string> failing;

    void Step(const std::string& name, const std::string& argument = {})
    {
        calls.push_back(name + "(" + argument + ")");
        if (failing.count(name) != 0) {
            throw brenlix::Error(3201, "test", "Cannot open backup device. " + name + " failed.");
        }
    }
};

// The server and the backup in one: each object the provider makes is only ever used as the one it was made for.
class Scripted final : public dunmarrow::sql::SQLServer, public dunmarrow::sql::Backup {
    Script& s_;
    std::string path_;

public:
    explicit Scripted(Script& script) : s_(script) {}
    void LoginSecure(bool value) override { s_.Step("LoginSecure", std::to_string(value)); }
    void Connect(const std::string& name) override { s_.Step("Connect", name); }
    void Database(const std::string& value) override { s_.Step("Database", value); }
    void Files(const std::string& value) override
    {
        s_.Step("Files", value);
        path_.clear(); // "[path]" with each "]" of the path doubled
        for (std::size_t i = 1; i + 1 < value.size(); i += value[i] == ']' ? 2 : 1) {
            path_ += value[i];
        }
    }
    void Initialize(bool value) override { s_.Step("Initialize", std::to_string(value)); }
    void Action(dunmarrow::sql::BackupAction value) override { s_.Step("Action", std::to_string(static_cast<int>(value))); }
    void Checksum(bool value) override { s_.Step("Checksum", std::to_string(value)); }
    void Compression(bool value) override { s_.Step("Compression", std::to_string(value)); }
    void CopyOnly(bool value) override { s_.Step("CopyOnly", std::to_string(value)); }
    void SQLBackup(dunmarrow::sql::SQLServer&) override
    {
        s_.Step("SQLBackup");
        WriteFile(path_, "backup of the database");
    }
    void SQLVerify(dunmarrow::sql::SQLServer&) override { s_.Step("SQLVerify"); }
};

class ScriptedProvider final : public dunmarrow::sql::Provider {
    Script& s_;

public:
    explicit ScriptedProvider(Script& script) : s_(script) {}
    std::unique_ptr<dunmarrow::sql::SQLServer> CreateSQLServer() override { return s_.Step("CreateSQLServer"), std::make_unique<Scripted>(s_); }
    std::unique_ptr<dunmarrow::sql::Backup> CreateBackup() override { return s_.Step("CreateBackup"), std::make_unique<Scripted>(s_); }
};

} // namespace testing_support
