// The grant's access entry. Wine keeps no access lists on its files, so the entry is checked in a
// list built in memory, exactly as the grant run builds it.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "game_folder/grant.h"

TEST(Grant, TheEntryGivesTheUserReadWriteExecuteAndDeleteInherited) {
    PSID user = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-1-2-3-1001", &user));
    PACL list = nullptr;
    ASSERT_TRUE(build_granted_list(nullptr, user, &list));
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->AceCount, 1);
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(list, 0, (void**)&ace));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Mask, 0x1301BFu);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_TRUE(EqualSid((PSID)&ace->SidStart, user));
    LocalFree(list);
    LocalFree(user);
}
