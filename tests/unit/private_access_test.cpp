// The access list for what the run makes for itself, read back from the file made with it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/private_access.h"
#include "test_support.h"

namespace {

class PrivateAccess : public test::ProgramTest {
protected:
    // Makes a file with the security the run would give it; what the platform then holds.
    std::optional<fake::AccessList> MadeWith(const PrivateSecurity& security) {
        HANDLE file = CreateFileA("C:\\made.txt", GENERIC_WRITE, 0, security.attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE);
        CloseHandle(file);
        return fake::CreatedAccessList("C:\\made.txt");
    }
};

TEST_F(PrivateAccess, OnlyTheAccountTheAdministratorsAndTheSystemMayChangeWhatIsMadeWithIt) {
    run.isNT = 1;
    fake::SetAccountSid("S-1-5-21-1004336348-1177238915-682003330-512");
    PrivateSecurity security;
    ASSERT_EQ(MakePrivateSecurity(&security), 1);
    std::optional<fake::AccessList> list = MadeWith(security);
    ASSERT_TRUE(list.has_value());
    EXPECT_TRUE(list->isProtected);
    // Full access (0x1f01ff) for the three, reading only (0x120089) for everyone; each entry is
    // passed on to files and folders made inside (flags 3).
    EXPECT_EQ(list->entries, (std::vector<std::string>{"S-1-5-21-1004336348-1177238915-682003330-512 1f01ff 3",
                                                       "S-1-5-32-544 1f01ff 3", "S-1-5-18 1f01ff 3",
                                                       "S-1-1-0 120089 3"}));
    EXPECT_EQ(fake::Calls({"OpenProcessToken", "GetTokenInformation"}),
              (std::vector<std::string>{"OpenProcessToken 8 -> ok", "GetTokenInformation 1 -> ok"}));
}

TEST_F(PrivateAccess, WithoutTheRunningAccountNothingIsToBeMadeAndOnThe95FamilyNoListIsGiven) {
    run.isNT = 1;
    PrivateSecurity security;
    fake::FailCall("GetTokenInformation");
    EXPECT_EQ(MakePrivateSecurity(&security), 0);
    EXPECT_EQ(security.attributes, nullptr);
    fake::FailCall("OpenProcessToken");
    EXPECT_EQ(MakePrivateSecurity(&security), 0);
    // The account of the system account's run, the shortest SID there is.
    fake::SetAccountSid("S-1-5-18");
    ASSERT_EQ(MakePrivateSecurity(&security), 1);
    EXPECT_EQ(MadeWith(security)->entries.front(), "S-1-5-18 1f01ff 3");

    fake::Reset();
    fake::SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    run.isNT = 0;
    ASSERT_EQ(MakePrivateSecurity(&security), 1);
    EXPECT_EQ(security.attributes, nullptr);
    EXPECT_FALSE(MadeWith(security).has_value());
    EXPECT_EQ(fake::CallCount("OpenProcessToken"), 0);
}

}  // namespace
