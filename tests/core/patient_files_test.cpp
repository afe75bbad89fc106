// Files held for a moment by another program (as a virus scanner holds a new file) are waited for;
// a file held for longer than the wait fails as before, with the error of the hold as the reason.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "core/atomic_file.h"
#include "core/file_tree.h"
#include "core/patient_files.h"
#include "core/settings.h"
#include "support/test_support.h"

namespace {

// Holds a file open for reading, sharing reads only, as an on-access scanner does, on a thread of
// its own; released after release_ms, or when the holder is destroyed.
struct Holder {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE thread = nullptr;
    DWORD release_ms = 0;

    static DWORD WINAPI run(void* context) {
        Holder* holder = (Holder*)context;
        Sleep(holder->release_ms);
        CloseHandle(holder->file);
        return 0;
    }
    bool hold(const std::string& path, DWORD ms) {
        file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        release_ms = ms;
        thread = CreateThread(nullptr, 0, run, this, 0, nullptr);
        return thread != nullptr;
    }
    ~Holder() {
        if (!thread) return;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
};

struct PatientFiles : testing::Test {
    void SetUp() override {
        folder = make_temp_folder("patient");
        ASSERT_FALSE(folder.empty());
        file = folder + "\\held.dll";
        ASSERT_TRUE(write_file(file, "old"));
    }
    void TearDown() override { remove_tree(folder); }
    std::string folder, file;
};

}  // namespace

TEST_F(PatientFiles, AFileHeldForAMomentIsMovedDeletedReplacedAndWritten) {
    struct Case {
        const char* name;
        bool (*act)(const std::string& folder, const std::string& file);
        const char* content_after;  // of file; null when it should be gone
    };
    const Case cases[] = {
        {"moved", [](const std::string& f, const std::string& held) {
             return patient_move(held.c_str(), (f + "\\moved.dll").c_str(), MOVEFILE_REPLACE_EXISTING);
         }, nullptr},
        {"replaced by a move", [](const std::string& f, const std::string& held) {
             return write_file(f + "\\new.dll", "new") &&
                    patient_move((f + "\\new.dll").c_str(), held.c_str(), MOVEFILE_REPLACE_EXISTING);
         }, "new"},
        {"deleted", [](const std::string&, const std::string& held) { return patient_delete(held.c_str()); },
         nullptr},
        {"written atomically", [](const std::string&, const std::string& held) {
             return write_file_atomic(held.c_str(), "state", 5);
         }, "state"},
        {"copied over", [](const std::string& f, const std::string& held) {
             return write_file(f + "\\copy.dll", "copy") && patient_copy((f + "\\copy.dll").c_str(), held.c_str(), false);
         }, "copy"},
        {"opened for writing", [](const std::string&, const std::string& held) {
             HANDLE h = patient_open(held.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL);
             if (h == INVALID_HANDLE_VALUE) return false;
             DWORD written = 0;
             bool ok = WriteFile(h, "+", 1, &written, nullptr) && written == 1;
             CloseHandle(h);
             return ok;
         }, "old+"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(write_file(file, "old"));
        bool done;
        {
            Holder scanner;
            ASSERT_TRUE(scanner.hold(file, 1000));
            done = c.act(folder, file);
        }
        EXPECT_TRUE(done) << "error " << GetLastError();
        if (c.content_after) {
            EXPECT_EQ(file_text(file), c.content_after);
        } else {
            EXPECT_FALSE(file_exists(file));
        }
    }

    // A settings file, written through the profile functions.
    std::string ini = folder + "\\zandor.ini";
    ASSERT_TRUE(write_file(ini, "[online]\r\nserver=\r\n"));
    {
        Holder scanner;
        ASSERT_TRUE(scanner.hold(ini, 1000));
        EXPECT_TRUE(write_setting(ini.c_str(), "online", "server", "x"));
    }
    char value[16];
    read_setting(ini.c_str(), "online", "server", "", value, sizeof value);
    EXPECT_STREQ(value, "x");
}

TEST_F(PatientFiles, AFolderWithAFileHeldForAMomentIsDeleted) {
    std::string tree = folder + "\\tree", inner = tree + "\\sub\\held.jar";
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), nullptr) && CreateDirectoryA((tree + "\\sub").c_str(), nullptr));
    ASSERT_TRUE(write_file(inner, "jar") && write_file(tree + "\\other.txt", "x"));
    Holder scanner;
    ASSERT_TRUE(scanner.hold(inner, 1000));
    EXPECT_TRUE(delete_tree(tree.c_str()));
    EXPECT_FALSE(folder_exists(tree));
}

TEST_F(PatientFiles, AFileHeldForGoodFailsWithTheHoldsErrorAndStaysAsItWas) {
    ASSERT_TRUE(write_file(folder + "\\new.dll", "new"));
    // Held until the end of the test, as the running game holds its files.
    HANDLE game = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(game, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(patient_move((folder + "\\new.dll").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(is_hold_error(GetLastError())) << GetLastError();
    EXPECT_FALSE(write_file_atomic(file.c_str(), "state", 5));
    EXPECT_TRUE(is_hold_error(GetLastError())) << GetLastError();
    EXPECT_FALSE(file_exists(file + ".new"));
    EXPECT_EQ(file_text(file), "old");
    EXPECT_EQ(file_text(folder + "\\new.dll"), "new");
    CloseHandle(game);
}

TEST_F(PatientFiles, WhatIsNoHoldFailsWithThePlainCallsError) {
    // A missing file, and a folder where a file is written: no hold to wait for.
    std::string missing = folder + "\\missing.dll", in_the_way = folder + "\\zandor.ini";
    ASSERT_TRUE(CreateDirectoryA(in_the_way.c_str(), nullptr));
    EXPECT_FALSE(patient_move(missing.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(patient_open(in_the_way.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, 0), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_FALSE(write_setting(in_the_way.c_str(), "online", "server", "x"));

    // The running program's own file stays held while it runs: no replace or delete of it waits.
    char own[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, own, sizeof own), 0u);
    Patience patience;
    patience_begin(&patience, own);
    EXPECT_TRUE(patience.hasty);
    patience_begin(&patience, file.c_str());
    EXPECT_FALSE(patience.hasty);
}

// Access denied means a hold only where a held file gives it: a file being replaced or a folder
// being renamed while something in it is open. Everywhere else it is an answer no wait changes.
TEST_F(PatientFiles, AccessDeniedWaitsOnlyWhereAHoldGivesIt) {
    std::string folder_in_the_way = folder + "\\zandor.ini", read_only = folder + "\\read_only.txt";
    std::string other = folder + "\\other.txt", sub = folder + "\\sub";
    ASSERT_TRUE(CreateDirectoryA(folder_in_the_way.c_str(), nullptr) && CreateDirectoryA(sub.c_str(), nullptr));
    ASSERT_TRUE(write_file(read_only, "r") && write_file(other, "o"));
    ASSERT_TRUE(SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_READONLY));
    struct Case {
        const char* name;
        PatientAct act;
        std::string path, target;
        DWORD error;
        bool for_good;
    };
    const Case cases[] = {
        {"write where a folder stands", ACT_WRITE, folder_in_the_way, "", ERROR_ACCESS_DENIED, true},
        {"write of a file", ACT_WRITE, file, "", ERROR_ACCESS_DENIED, true},
        {"read of a file", ACT_READ, file, "", ERROR_ACCESS_DENIED, true},
        {"delete of a file", ACT_DELETE, file, "", ERROR_ACCESS_DENIED, true},
        {"move of a file to a free name", ACT_MOVE, file, folder + "\\free.txt", ERROR_ACCESS_DENIED, true},
        {"move over a read-only file", ACT_MOVE_REPLACING, other, read_only, ERROR_ACCESS_DENIED, true},
        {"move over a folder", ACT_MOVE_REPLACING, other, folder_in_the_way, ERROR_ACCESS_DENIED, true},
        {"move over a file held open", ACT_MOVE_REPLACING, other, file, ERROR_ACCESS_DENIED, false},
        {"rename of a folder holding an open file", ACT_MOVE, sub, folder + "\\sub2", ERROR_ACCESS_DENIED, false},
        {"sharing violation", ACT_WRITE, file, "", ERROR_SHARING_VIOLATION, false},
        {"lock violation", ACT_DELETE, file, "", ERROR_LOCK_VIOLATION, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLastError(c.error);
        EXPECT_EQ(access_denied_for_good(c.act, c.path.c_str(), c.target.empty() ? nullptr : c.target.c_str()),
                  c.for_good);
        EXPECT_EQ(GetLastError(), c.error) << "the error is kept for the caller";
    }
    SetFileAttributesA(read_only.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// An access list that refuses us is read as a lasting refusal (Wine keeps no file access lists, so
// the descriptors are made here, for this process's own user; Wine grants DELETE whatever the list
// says, so the cases ask for writing).
TEST(AccessLists, ARefusingAccessListIsToldApart) {
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    char user_buffer[256];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user_buffer, sizeof user_buffer, &size));
    CloseHandle(token);
    char* sid = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidA(((TOKEN_USER*)user_buffer)->User.Sid, &sid));
    std::string me = sid;
    LocalFree(sid);
    struct Case {
        std::string access_list;
        DWORD rights;
        bool refused;
    };
    const Case cases[] = {
        {"(D;;FW;;;" + me + ")(A;;FA;;;" + me + ")", FILE_WRITE_DATA, true},
        {"(D;;FW;;;" + me + ")(A;;FA;;;" + me + ")", FILE_READ_DATA, false},
        {"(A;;FR;;;" + me + ")", GENERIC_WRITE, true},
        {"(A;;FA;;;" + me + ")", DELETE | GENERIC_WRITE, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.access_list);
        std::string text = "O:" + me + "G:" + me + "D:" + c.access_list;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(text.c_str(), SDDL_REVISION_1, &descriptor,
                                                                         nullptr));
        EXPECT_EQ(security_refuses(descriptor, c.rights), c.refused);
        LocalFree(descriptor);
    }
    EXPECT_FALSE(security_refuses(nullptr, DELETE)) << "what cannot be told is no refusal";
}

// Renaming the running program is allowed (only replacing or deleting it is not): a hold on it is
// waited out like any other. The test program itself is renamed and put back.
TEST_F(PatientFiles, TheRunningProgramIsRenamedOnceAHoldPasses) {
    char own[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, own, sizeof own), 0u);
    std::string renamed = std::string(own) + ".renamed";
    bool moved;
    {
        Holder scanner;
        ASSERT_TRUE(scanner.hold(own, 1000));
        moved = patient_move(own, renamed.c_str(), 0);
    }
    if (moved) EXPECT_TRUE(MoveFileExA(renamed.c_str(), own, 0)) << "put back";
    EXPECT_TRUE(moved) << "error " << GetLastError();
    EXPECT_TRUE(file_exists(own));
}
