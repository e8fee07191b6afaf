// The optional job keys as read, and the stamped files of a job's runs.
#include "JobOptions.h"
#include "Retention.h"

#include <brenlix/Error.h>
#include <platform/Files.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

namespace {

using dunmarrow::sql::BackupAction;
using testing_support::At;

// The optional keys in their order: Type, Checksum, Compress, CopyOnly, Verify, KeepDays, EventLog.
dunmarrow::JobKeys Keys(std::vector<std::string> values)
{
    values.resize(7);
    return {values[0], values[1], values[2], values[3], values[4], values[5], values[6]};
}

std::string DescriptionOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), dunmarrow::kErrorInvalidJobValue);
        return error.Description();
    }
    return "(no error)";
}

TEST(ReadJobOptions, AcceptedValues)
{
    const struct {
        dunmarrow::JobKeys keys;
        BackupAction action;
        bool switches; // every switch given in the row
        int keepDays;
    } rows[] = {
        {Keys({"full", "0", "No", "false", "NEJ", "", "0"}), BackupAction::Database, false, 0},
        {Keys({"FULL", "1", "1", "1", "1", "14", "1"}), BackupAction::Database, true, 14},
        {Keys({" log ", "True", "yes", "Ja", "JA", "36500", "true"}), BackupAction::Log, true, 36500},
        {Keys({"dIfF", "", "", "", "", "1", ""}), BackupAction::Differential, false, 1},
    };
    for (const auto& row : rows) {
        const dunmarrow::JobOptions options = dunmarrow::ReadJobOptions(row.keys);
        EXPECT_EQ(options.action, row.action) << row.keys.type;
        EXPECT_EQ((std::vector<bool>{options.checksum, options.compress, options.copyOnly, options.verify,
                                     options.eventLog}),
                  std::vector<bool>(5, row.switches))
            << row.keys.type;
        EXPECT_EQ(options.keepDays, row.keepDays) << row.keys.type;
    }
    EXPECT_TRUE(dunmarrow::EventLogWanted(" Ja"));
    EXPECT_FALSE(dunmarrow::EventLogWanted("2"));
}

TEST(ReadJobOptions, RefusedValuesAreNamed)
{
    const std::string onOff = "use 1 (or Yes, True, Ja) for on and 0 (or No, False, Nej) for off.";
    const std::string days = "use a whole number of days from 1 to 36500.";
    const struct {
        dunmarrow::JobKeys keys;
        std::string key, value, accepted;
    } rows[] = {
        {Keys({"Incremental"}), "Type", "Incremental", "the accepted values are Full, Diff and Log."},
        {Keys({"Differential"}), "Type", "Differential", "the accepted values are Full, Diff and Log."},
        // The server would take it and make an ordinary differential backup.
        {Keys({"Diff", "", "", "1"}), "CopyOnly", "1",
         "a differential backup cannot be copy-only; use CopyOnly with Full or Log."},
        {Keys({"", "2"}), "Checksum", "2", onOff},
        {Keys({"", "", "", "", "", "", "y"}), "EventLog", "y", onOff},
        {Keys({"", "", "", "", "", "0"}), "KeepDays", "0", days},
        {Keys({"", "", "", "", "", "14d"}), "KeepDays", "14d", days},
        {Keys({"", "", "", "", "", "36501"}), "KeepDays", "36501", days},
        {Keys({"", "", "", "", "", "99999999999999999999"}), "KeepDays", "99999999999999999999", days},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DescriptionOf([&] { dunmarrow::ReadJobOptions(row.keys); }),
                  "The job key " + row.key + " has the value \"" + row.value + "\"; " + row.accepted);
    }
}

TEST(Stamp, TimeReplacementAndTheFilesItNames)
{
    EXPECT_EQ(dunmarrow::StampOf(At(2026, 1, 2, 3, 4, 5)), "20260102-030405");
    EXPECT_EQ(dunmarrow::StampOf(At(999, 12, 31, 23, 59, 59)), "09991231-235959");
    EXPECT_EQ(dunmarrow::WithStamp("D:\\B\\{stamp}_{stamp}.bak", "X"), "D:\\B\\X_X.bak");
    EXPECT_EQ(dunmarrow::WithStamp("{Stamp}{stamp", "X"), "{Stamp}{stamp");
    const char sep = platform::PathSeparator();
    const std::string folder = std::string(1, sep) + "B" + sep;
    const dunmarrow::StampedFiles files = dunmarrow::StampedFilesOf("Backupfile", folder + "S_{stamp}.bak");
    EXPECT_EQ(files.folder + "|" + files.namePattern, folder + "|S_{stamp}.bak");
    const struct {
        std::string path, reason;
    } rows[] = {
        {folder + "S_{STAMP}.bak", "each run must keep a file of its own"},
        {"{stamp}" + folder + "S_{stamp}.bak", "the folder may not change from run to run"},
        {"S_{stamp}.bak", "write the file with its folder"},
        // Deleting goes by the folder as this machine sees it.
        {std::string("B") + sep + "S_{stamp}.bak", "write the file with its whole path, from the root of a drive or a share"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DescriptionOf([&] { dunmarrow::StampedFilesOf("MakeCopy2", row.path); }),
                  "KeepDays needs {stamp} in the file name of MakeCopy2 (\"" + row.path + "\"): " + row.reason + ".");
    }
}

class DeleteExpired : public ::testing::Test {
protected:
    void Make(const std::vector<std::string>& names)
    {
        for (const std::string& name : names) {
            testing_support::WriteFile(dir_.File(name), name);
        }
    }

    std::set<std::string> Left() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(dir_.Path()))) {
            const std::u8string name = entry.path().filename().u8string();
            names.insert(std::string(name.begin(), name.end()));
        }
        return names;
    }

    // Deletes at 2026-12-06 22:00:00; the files named to the callback, sorted.
    std::vector<std::string> Run(const std::string& pattern, int keepDays, const std::string& thisRun = {})
    {
        std::vector<std::string> deleted;
        dunmarrow::DeleteExpired({dir_.File(""), pattern}, At(2026, 12, 6, 22, 0, 0), keepDays,
                                 [&](const std::string& path) { deleted.push_back(path); }, thisRun);
        std::sort(deleted.begin(), deleted.end());
        return deleted;
    }

    testing_support::TempDir dir_;
};

// Only old files of the pattern go, and only where this run wrote its file (not another machine's folder of the
// same name, say).
TEST_F(DeleteExpired, OnlyOldFilesOfThePattern)
{
    const struct {
        const char* name;
        bool deleted;
    } rows[] = {
        {"Salg_20261122-220000.bak", false}, // exactly 14 days
        {"Salg_20261122-215959.bak", true},  // a second more
        {"Salg_20270101-000000.bak", false},  // ahead of the clock: the newest
        {"Lager_20261101-000000.bak", false}, // another database
        {"Salg.bak", false},
        {"Salg_20261101-000000.bak.tmp", false},
        {"Salg_20261101-000000.BAK", false},
        {"salg_20261102-000000.bak", false}, // names compare case for case (Windows has one file for both)
        {"Salg_2026110-1000000.bak", false},
        {"Salg_20261301-000000.bak", false}, // month 13
        {"Salg_20230229-000000.bak", false}, // no such day
        {"Salg_20261101-240000.bak", false},
        {"Salg_20261101_000000.bak", false},
    };
    std::vector<std::string> names, deleted;
    std::set<std::string> kept = {"Salg_20261001-000000.bak", "Salg_20261206-220000.bak"}; // a folder, this run's
    for (const auto& row : rows) {
        names.push_back(row.name);
        (row.deleted ? deleted.push_back(dir_.File(row.name)) : static_cast<void>(kept.insert(row.name)));
    }
    Make(names);
    std::filesystem::create_directory(std::filesystem::u8path(dir_.File("Salg_20261001-000000.bak")));
    std::sort(deleted.begin(), deleted.end());
    EXPECT_EQ(Run("Salg_{stamp}.bak", 14, "Salg_20261206-220000.bak"), std::vector<std::string>{});
    Make({"Salg_20261206-220000.bak"});
    EXPECT_EQ(Run("Salg_{stamp}.bak", 14, "Salg_20261206-220000.bak"), deleted);
    EXPECT_EQ(Left(), kept);
}

// The newest file stays however old it is; a stamp that appears twice must be the same stamp both times.
TEST_F(DeleteExpired, TheNewestStaysAndRepeatedStampsAgree)
{
    Make({"a_20250101-000000.bak", "a_20250102-000000.bak", "a_20240101-000000.bak"});
    EXPECT_EQ(Run("a_{stamp}.bak", 1),
              (std::vector<std::string>{dir_.File("a_20240101-000000.bak"), dir_.File("a_20250101-000000.bak")}));
    EXPECT_EQ(Left(), (std::set<std::string>{"a_20250102-000000.bak"}));
    Make({"20240101-000000_x_20240102-000000.bak", "20230101-000000_x_20230101-000000.bak"});
    EXPECT_EQ(Run("{stamp}_x_{stamp}.bak", 1), std::vector<std::string>{});
    Make({"20220101-000000_x_20220101-000000.bak"});
    EXPECT_EQ(Run("{stamp}_x_{stamp}.bak", 1), std::vector<std::string>{dir_.File("20220101-000000_x_20220101-000000.bak")});
}

// A file that cannot go stops the clean-up with its code; so does a folder that is not there.
TEST_F(DeleteExpired, AFileThatCannotGoStopsWithItsCode)
{
    Make({"b_20200101-000000.bak", "b_20261206-220000.bak"});
    testing_support::MakeReadOnly(dir_.File("b_20200101-000000.bak"));
    for (const auto& [folder, number] : std::vector<std::pair<std::string, int>>{
             {dir_.File(""), 5}, {dir_.File("none") + platform::PathSeparator(), 3}}) {
        try {
            dunmarrow::DeleteExpired({folder, "b_{stamp}.bak"}, At(2026, 12, 6, 22, 0, 0), 14, [](const std::string&) {});
            ADD_FAILURE() << "no error";
        } catch (const brenlix::Error& error) {
            EXPECT_EQ(error.Number(), number) << folder;
        }
    }
    EXPECT_EQ(Left().size(), 2u);
}

} // namespace
