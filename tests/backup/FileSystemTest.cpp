#include "FileSystem.h"

#include <brenlix/Error.h>
#include <brenlix/modCommon.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(CopyFile, ReplacesAnExistingFile)
{
    const TempDir dir;
    WriteFile(dir.File("a.bak"), "new");
    WriteFile(dir.File("b.bak"), "older and longer");
    dunmarrow::CopyFile(dir.File("a.bak"), dir.File("b.bak"));
    EXPECT_EQ(ReadFile(dir.File("b.bak")), "new");
}

TEST(CopyFile, DestinationEndingInSeparatorIsAFolder)
{
    const TempDir source;
    const TempDir target;
    WriteFile(source.File("Sales.bak"), "data");
    dunmarrow::CopyFile(source.File("Sales.bak"), target.File(""));
    EXPECT_EQ(ReadFile(target.File("Sales.bak")), "data");
}

TEST(CopyFile, FailureRaisesTheSystemsCodeAndText)
{
    const TempDir dir;
    try {
        dunmarrow::CopyFile(dir.File("none.bak"), dir.File("copy.bak"));
        FAIL() << "no error raised";
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), 2);
        EXPECT_EQ(error.Description(), brenlix::SystemErrorText(2));
    }
}

} // namespace
