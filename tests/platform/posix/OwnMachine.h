// A machine root and a user's configuration folder of the test's own, and the account "nobody" where the suite may
// run part of a test as another user.
#pragma once

#include "TestSupport.h"
#include "posix/OtherUser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

class OwnMachine : public ::testing::Test {
protected:
    testing_support::TempDir root;
    testing_support::ScopedEnvironment machine{"BRENLIX_ROOT", root.Path().c_str()};
    testing_support::ScopedEnvironment config{"XDG_CONFIG_HOME", root.File("config").c_str()};
    std::string whyNot;
    std::optional<testing_support::Account> other = testing_support::UnprivilegedAccount(whyNot);
};
