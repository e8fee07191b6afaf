#include <brenlix/Error.h>
#include <brenlix/KvRegistry.h>
#include <platform/Text.h>

#include "RawRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using brenlix::KvRegistry;
using Rows = std::vector<std::pair<std::string, std::string>>;

constexpr std::int32_t kClasses = brenlix::HKEY_CLASSES_ROOT;

// Each test has its own extension and class, removed afterwards.
class AssociationsTest : public ::testing::Test {
protected:
    AssociationsTest() { Clean(); }
    ~AssociationsTest() override { Clean(); }

    void Clean() const
    {
        for (const std::string& key : {"." + ext_, class_, "\\" + class_}) {
            raw::RemoveTree(kClasses, key, "");
        }
    }
    // Each key holds the text as its unnamed value, and the class has these verbs.
    void Expect(const Rows& rows, std::vector<std::string> verbs, std::uint32_t commandType = brenlix::REG_SZ) const
    {
        for (const auto& [key, text] : rows) {
            const std::uint32_t type = key.ends_with("\\command") ? commandType : std::uint32_t{brenlix::REG_SZ};
            EXPECT_EQ(raw::Read(kClasses, key, ""), (raw::Stored{type, platform::ToAnsi(text) + '\0'})) << key;
        }
        std::vector<std::string> names = raw::Subkeys(kClasses, class_ + "\\shell");
        std::sort(names.begin(), names.end());
        std::sort(verbs.begin(), verbs.end());
        EXPECT_EQ(names, verbs);
    }
    static void ExpectState(const KvRegistry& reg, brenlix::ERegistryClassConstants root, const std::string& section)
    {
        EXPECT_EQ(reg.ClassKey(), root);
        EXPECT_EQ(reg.SectionKey(), section);
        EXPECT_EQ(reg.ValueKey(), "");
        EXPECT_EQ(reg.ValueType(), brenlix::REG_SZ);
    }

    testing_support::TempDir machine_;
    testing_support::ScopedEnvironment root_{"BRENLIX_ROOT", machine_.Path().c_str()};
    const std::string name_ = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string ext_ = "kvtest-" + name_;
    const std::string class_ = "Korvane.Test." + name_;
};

TEST_F(AssociationsTest, RowsForEachOption)
{
    const std::string& c = class_;
    const std::string& x = ext_;
    const std::string q = "\"C:\\Tools\\view.exe\"";
    const struct {
        const char* what;
        std::function<void(KvRegistry&)> call;
        Rows rows;
        std::vector<std::string> verbs;
        bool icon;
        std::uint32_t commandType = brenlix::REG_SZ;
    } cases[] = {
        {"defaults", [&](KvRegistry& r) { r.CreateEXEAssociation("  C:\\Tools\\view.exe  ", c, "Viewer", x); },
         {{"." + x, c}, {c, "Viewer"}, {c + "\\shell\\open", "&Open"}, {c + "\\shell\\open\\command", q + " \"%1\""}},
         {"open"}, false},
        {"every verb with its default text, icon 0",
         [&](KvRegistry& r) { r.CreateEXEAssociation(q, c, "Viewer", x, "", true, "", true, "", true, "", 0); },
         {{c + "\\shell\\open", "&Open"}, {c + "\\shell\\open\\command", q + " \"%1\""},
          {c + "\\shell\\print", "&Print"}, {c + "\\shell\\print\\command", q + " /p \"%1\""},
          {c + "\\shell\\add", "&Install " + x}, {c + "\\shell\\add\\command", q + " /a \"%1\""},
          {c + "\\shell\\new", "&New"}, {c + "\\shell\\new\\command", q + " /n \"%1\""}, {c + "\\DefaultIcon", q + ",0"}},
         {"add", "new", "open", "print"}, true},
        {"own texts, icon 3",
         [&](KvRegistry& r) {
             r.CreateEXEAssociation("\"C:\\a b\\v.exe", c, "Vis", x, "&Vis", true, "&Udskriv", true, "&Ny", true,
                                    "&Installér", 3);
         },
         {{c, "Vis"}, {c + "\\shell\\open", "&Vis"}, {c + "\\shell\\open\\command", "\"C:\\a b\\v.exe\" \"%1\""},
          {c + "\\shell\\print", "&Udskriv"}, {c + "\\shell\\add", "&Installér"}, {c + "\\shell\\new", "&Ny"},
          {c + "\\DefaultIcon", "\"C:\\a b\\v.exe\",3"}},
         {"add", "new", "open", "print"}, true},
        {"print only, negative icon",
         [&](KvRegistry& r) {
             r.CreateEXEAssociation("C:\\v.exe\"", c, "V", x, "&Open", true, "", false, "", false, "", -5);
         },
         {{c + "\\shell\\print\\command", "\"C:\\v.exe\" /p \"%1\""}}, {"open", "print"}, false},
        {"empty program path", [&](KvRegistry& r) { r.CreateEXEAssociation("", c, "V", x); },
         {{c + "\\shell\\open\\command", "\" \"%1\""}}, {"open"}, false},
        {"program path with a percent sign", [&](KvRegistry& r) { r.CreateEXEAssociation("C:\\100%\\v.exe", c, "V", x); },
         {{c + "\\shell\\open\\command", "\"C:\\100%\\v.exe\" \"%1\""}}, {"open"}, false, brenlix::REG_EXPAND_SZ},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        KvRegistry reg;
        reg.ValueKey("stale");
        reg.ValueType(brenlix::REG_DWORD);
        test.call(reg);
        Expect(test.rows, test.verbs, test.commandType);
        EXPECT_EQ(raw::Subkeys(kClasses, c).size(), test.icon ? 2u : 1u);
        ExpectState(reg, brenlix::HKEY_LOCAL_MACHINE,
                    test.icon ? c + "\\DefaultIcon" : c + "\\shell\\" + test.verbs.back() + "\\command");
        Clean();
    }
}

TEST_F(AssociationsTest, AdditionalVerbs)
{
    KvRegistry reg;
    reg.CreateEXEAssociation("C:\\v.exe", class_, "V", ext_);
    // Left below HKEY_LOCAL_MACHINE, the instance finds no class there.
    EXPECT_THROW(reg.CreateAdditionalEXEAssociations(class_, {"edit", "&Edit", "e.exe"}), brenlix::Error);
    reg.ClassKey(brenlix::HKEY_CLASSES_ROOT);
    reg.CreateAdditionalEXEAssociations(class_, {});
    ExpectState(reg, brenlix::HKEY_CLASSES_ROOT, class_);
    Expect({}, {"open"});
    // A verb whose key cannot be made (its name is too long) is passed over.
    reg.CreateAdditionalEXEAssociations(class_, {"edit", "&Edit", "notepad.exe \"%1\"", std::string(300, 'n'), "&Long",
                                                 "long.exe", "run", "&Run", 5});
    Expect({{class_ + "\\shell\\edit", "&Edit"}, {class_ + "\\shell\\edit\\command", "notepad.exe \"%1\""},
            {class_ + "\\shell\\run", "&Run"}, {class_ + "\\shell\\run\\command", "5"}},
           {"edit", "open", "run"});
    ExpectState(reg, brenlix::HKEY_LOCAL_MACHINE, class_ + "\\shell\\run\\command");
}

// The first write that fails ends the operation; what was written stays.
TEST_F(AssociationsTest, FailingWriteEndsTheAssociation)
{
    KvRegistry reg;
    const std::string badClass = "\\" + class_; // a key path may not begin with a backslash
    try {
        reg.CreateEXEAssociation("C:\\v.exe", badClass, "Viewer", ext_);
        FAIL() << "no error";
    } catch (const brenlix::Error& error) {
        EXPECT_EQ(error.Number(), 26001);
        EXPECT_EQ(error.Source(), "Brenlix.cRegistry");
        EXPECT_EQ(error.Description(),
                  "Failed to set registry value Key: '-2147483648',Section: '" + badClass + "',Key: '' to value: 'Viewer'");
    }
    Expect({{"." + ext_, badClass}}, {});
    ExpectState(reg, brenlix::HKEY_CLASSES_ROOT, badClass);
}

} // namespace
