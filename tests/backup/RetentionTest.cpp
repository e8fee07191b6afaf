// The optional job keys as read, and the stamped files of a job's runs.
#include "JobOptions.h"
#include "Program.h"
#include "Retention.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>
#include <platform/Files.h>

#include "ScriptedSql.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using dunmarrow::sql::BackupAction;
using namespace testing_support;

std::string DescriptionOf(const std::function<void()>& call, std::int32_t number = dunmarrow::kErrorInvalidJobValue)
{
    try {
        call();
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), number);
        return error.Description();
    }
    return "(no error)";
}

// Each value as read, and each refused one named with what would do.
TEST(ReadJobOptions, AcceptedAndRefusedValues)
{
    const struct { dunmarrow::JobKeys keys; BackupAction action; bool switches; int keepDays; } rows[] = { // switches: each one given
        {Keys({"full", "0", "No", "false", "NEJ", "", "0"}), BackupAction::Database, false, 0},
        {Keys({"FULL", "1", "1", "1", "1", "14", "1"}), BackupAction::Database, true, 14},
        {Keys({" log ", "True", "yes", "Ja", "JA", "36500", "true"}), BackupAction::Log, true, 36500},
        {Keys({"dIfF", "", "", "", "", "1", ""}), BackupAction::Differential, false, 1},
    };
    for (const auto& row : rows) {
        const dunmarrow::JobOptions o = dunmarrow::ReadJobOptions(row.keys);
        EXPECT_EQ(o.action, row.action) << row.keys.type;
        EXPECT_EQ((std::vector<bool>{o.checksum, o.compress, o.copyOnly, o.verify, o.eventLog}), std::vector<bool>(5, row.switches)) << row.keys.type;
        EXPECT_EQ(o.keepDays, row.keepDays) << row.keys.type;
    }
    EXPECT_TRUE(dunmarrow::EventLogWanted(" Ja"));
    EXPECT_FALSE(dunmarrow::EventLogWanted("2"));
    const std::string onOff = "use 1 (or Yes, True, Ja) for on and 0 (or No, False, Nej) for off.", days = "use a whole number of days from 1 to 36500.";
    const struct { dunmarrow::JobKeys keys; std::string key, value, accepted; } refused[] = {
        {Keys({"Incremental"}), "Type", "Incremental", "the accepted values are Full, Diff and Log."},
        // The server would take it and make an ordinary differential backup.
        {Keys({"Diff", "", "", "1"}), "CopyOnly", "1", "a differential backup cannot be copy-only; use CopyOnly with Full or Log."},
        {Keys({"", "2"}), "Checksum", "2", onOff}, {Keys({"", "", "", "", "", "0"}), "KeepDays", "0", days}, {Keys({"", "", "", "", "", "36501"}), "KeepDays", "36501", days},
        {Keys({"", "", "", "", "", "99999999999999999999"}), "KeepDays", "99999999999999999999", days},
    };
    for (const auto& row : refused) {
        EXPECT_EQ(DescriptionOf([&] { dunmarrow::ReadJobOptions(row.keys); }), "The job key " + row.key + " has the value \"" + row.value + "\"; " + row.accepted);
    }
}

TEST(Stamp, TimeReplacementAndTheFilesItNames)
{
    EXPECT_EQ(dunmarrow::StampOf(At(2026, 1, 2, 3, 4, 5)), "20260102-030405");
    EXPECT_EQ(dunmarrow::StampOf(At(999, 12, 31, 23, 59, 59)), "09991231-235959");
    EXPECT_EQ(dunmarrow::WithStamp("D:\\B\\{stamp}_{stamp}.bak", "X"), "D:\\B\\X_X.bak");
    EXPECT_EQ(dunmarrow::WithStamp("{Stamp}{stamp", "X"), "{Stamp}{stamp");
    const std::string sep(1, platform::PathSeparator()), folder = sep + "B" + sep;
    const dunmarrow::StampedFiles files = dunmarrow::StampedFilesOf("Backupfile", folder + "S_{stamp}.bak");
    EXPECT_EQ(files.folder + "|" + files.namePattern, folder + "|S_{stamp}.bak");
    const struct { std::string path, reason; } rows[] = {
        {folder + "S_{STAMP}.bak", "each run must keep a file of its own"},
        {"{stamp}" + folder + "S_{stamp}.bak", "the folder may not change from run to run"},
        {"S_{stamp}.bak", "write the file with its folder"},
        {"B" + sep + "S_{stamp}.bak", "write the file with its whole path, from the root of a drive or a share"}, // deleting goes by the folder as this machine sees it
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DescriptionOf([&] { dunmarrow::StampedFilesOf("MakeCopy2", row.path); }), "KeepDays needs {stamp} in the file name of MakeCopy2 (\"" + row.path + "\"): " + row.reason + ".");
    }
}

// Only old files of the pattern go, and only once this run's file is there. One name per rule a name must pass.
// After a delete the job's last system error is that delete's: none.
TEST(DeleteExpired, WhichFilesGo)
{
    const TempDir dir;
    const auto make = [&](const std::set<std::string>& names) {
        for (const std::string& name : names) {
            WriteFile(dir.File(name), name);
        }
    };
    const auto left = [&] {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(dir.Path()))) {
            const std::u8string name = entry.path().filename().u8string();
            names.insert(std::string(name.begin(), name.end()));
        }
        return names;
    };
    // Deletes at 2026-12-06 22:00:00; the names given to the callback.
    const auto run = [&](const std::string& pattern, int keepDays, const std::string& thisRun = {}, const std::string& folder = {}) {
        std::set<std::string> deleted;
        const std::string in = folder.empty() ? dir.File("") : folder;
        dunmarrow::DeleteExpired({in, pattern}, At(2026, 12, 6, 22, 0, 0), keepDays, [&](const std::string& path) { deleted.insert(path.substr(in.size())); }, thisRun);
        return deleted;
    };
    std::set<std::string> kept = {
        "Salg_20261122-220000.bak", // exactly 14 days; a second more goes
        "Salg_20270101-000000.bak", // ahead of the clock: the newest
        "salg_20261102-000000.bak", // names compare case for case (Windows has one file for both)
        "Salg.bak", "Salg_20261101-000000.BAK", "Salg_20261101_000000.bak", "Salg_20261301-000000.bak", "Salg_20230229-000000.bak", "Salg_20261101-240000.bak",
    };
    make(kept);
    make({"Salg_20261122-215959.bak"});
    std::filesystem::create_directory(std::filesystem::u8path(dir.File("Salg_20261001-000000.bak")));
    EXPECT_EQ(run("Salg_{stamp}.bak", 14, "Salg_20261206-220000.bak"), std::set<std::string>{});
    make({"Salg_20261206-220000.bak"});
    EXPECT_EQ(run("Salg_{stamp}.bak", 14, "Salg_20261206-220000.bak"), std::set<std::string>{"Salg_20261122-215959.bak"});
    EXPECT_EQ(dunmarrow::LastDllError(), 0u);
    kept.insert({"Salg_20261001-000000.bak", "Salg_20261206-220000.bak"}); // a folder, this run's
    EXPECT_EQ(left(), kept);
    // The newest file stays; a repeated stamp must agree; a file that cannot go, or a missing folder, stops with its code.
    make({"a_20250101-000000.bak", "a_20250102-000000.bak", "a_20240101-000000.bak"});
    EXPECT_EQ(run("a_{stamp}.bak", 1), (std::set<std::string>{"a_20240101-000000.bak", "a_20250101-000000.bak"}));
    make({"20240101-000000_x_20240102-000000.bak", "20230101-000000_x_20230101-000000.bak"});
    EXPECT_EQ(run("{stamp}_x_{stamp}.bak", 1), std::set<std::string>{});
    make({"20220101-000000_x_20220101-000000.bak"});
    EXPECT_EQ(run("{stamp}_x_{stamp}.bak", 1), std::set<std::string>{"20220101-000000_x_20220101-000000.bak"});
    make({"b_20200101-000000.bak", "b_20261206-220000.bak"});
    MakeReadOnly(dir.File("b_20200101-000000.bak"));
    EXPECT_EQ(DescriptionOf([&] { run("b_{stamp}.bak", 14); }, 5), brenlix::SystemErrorText(5));
    EXPECT_EQ(DescriptionOf([&] { run("b_{stamp}.bak", 14, {}, dir.File("none") + platform::PathSeparator()); }, 3), brenlix::SystemErrorText(3));
    kept.insert({"a_20250102-000000.bak", "20240101-000000_x_20240102-000000.bak", "20230101-000000_x_20230101-000000.bak",
                 "b_20200101-000000.bak", "b_20261206-220000.bak"});
    EXPECT_EQ(left(), kept);
}

} // namespace
