// A game folder on a small file system that runs full (run.sh mounts it): the run fails naming the
// file it could not write, nothing installed changes, and once space is freed the next run resumes
// and finishes.
#include "core/log.h"
#include "support/release_fixture.h"

namespace {

class FullDisk : public UpdateFixture {
protected:
    void SetUp() override {
        UpdateFixture::SetUp();
        if (HasFatalFailure()) return;
        const char* disk = getenv("ZANDOR_FULL_DISK");
        ASSERT_TRUE(disk && disk[0]) << "run this program through tests/updates/run.sh (as root)";
        remove_tree(folder);
        folder = std::string(disk) + "\\game";
        filler = std::string(disk) + "\\filler.bin";
        remove_tree(folder);
        DeleteFileA(filler.c_str());
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        update_paths_init(&paths, folder.c_str());
        ASSERT_TRUE(write_file(place("ZANDOR Launcher.exe"), "launcher version 4"));
    }
    void TearDown() override {
        DeleteFileA(filler.c_str());
        UpdateFixture::TearDown();
    }

    // Fills the file system until only about leave bytes are free (0: until a write fails).
    void fill_leaving(uint64_t leave) {
        HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        std::string block(4096, 'f');
        for (;;) {
            ULARGE_INTEGER free_bytes;
            ASSERT_TRUE(GetDiskFreeSpaceExA(folder.c_str(), &free_bytes, nullptr, nullptr));
            if (leave > 0 && free_bytes.QuadPart <= leave) break;
            DWORD written = 0;
            if (!WriteFile(file, block.data(), (DWORD)block.size(), &written, nullptr) || written < block.size()) break;
        }
        CloseHandle(file);
    }

    std::string filler;
};

}  // namespace

TEST_F(FullDisk, APieceThatFindsNoRoomLeavesTheInstallAndResumesOnceThereIsRoom) {
    serve(dll_release(1, 12, client_dll(12)));
    ASSERT_TRUE(run()) << result.message;
    ASSERT_EQ(contents(paths.dll_path), client_dll(12));

    // A DLL of several pieces that does not fit.
    std::string big = client_dll(13) + std::string(900000, 'd');
    serve(dll_release(2, 13, big));
    fill_leaving(400000);
    EXPECT_FALSE(run());
    std::string staged = updates("staging/dll_v13/d3d8.dll");
    EXPECT_NE(std::string(result.message).find("cannot write " + staged + ".part"), std::string::npos)
        << result.message;
    EXPECT_EQ(contents(paths.dll_path), client_dll(12));
    EXPECT_EQ(installed().version[PART_DLL], 12u);
    uint64_t kept = contents(staged + ".part").size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, big.size());

    // Room again: the next run asks only for what is missing and finishes.
    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    ASSERT_TRUE(run()) << result.message;
    EXPECT_EQ(contents(paths.dll_path), big);
    EXPECT_EQ(installed().version[PART_DLL], 13u);
    std::vector<uint64_t> offsets = offsets_of(gets(), big);
    EXPECT_NE(std::find(offsets.begin(), offsets.end(), kept), offsets.end()) << "not resumed at " << kept;
}

TEST_F(FullDisk, AStateFileThatFindsNoRoomIsNamedInTheLogAndKeptWhole) {
    InstalledState state = {};
    state.version[PART_DLL] = 7;
    ASSERT_TRUE(installed_state_save(&paths, &state));
    std::string before = contents(updates("installed.json"));

    std::string log_folder = make_temp_folder("fulldisklog");
    std::string log_path = log_folder + "\\launcher.log";
    ASSERT_TRUE(log_open(log_path.c_str()));
    fill_leaving(0);
    state.version[PART_DLL] = 8;
    EXPECT_FALSE(installed_state_save(&paths, &state));
    log_close();

    EXPECT_EQ(contents(updates("installed.json")), before);
    EXPECT_FALSE(file_exists(updates("installed.json.new")));
    std::string log = file_text(log_path);
    EXPECT_NE(log.find("cannot write " + updates("installed.json") + " (error 112)"), std::string::npos) << log;
    remove_tree(log_folder);
}

TEST_F(FullDisk, TheLogGoesOnWithoutItsLinesWhileTheDiskIsFull) {
    std::string log_path = updates("launcher.log");
    ASSERT_TRUE(log_open(log_path.c_str()));
    log_line("before the disk ran full");
    fill_leaving(0);
    for (int i = 0; i < 2000; i++) log_line("line %d that finds no room", i);
    // The update's own files still do what they can.
    InstalledState state = {};
    EXPECT_FALSE(installed_state_save(&paths, &state));
    ASSERT_TRUE(DeleteFileA(filler.c_str()));
    log_line("after room was made");
    log_close();
    std::string log = file_text(log_path);
    EXPECT_NE(log.find("before the disk ran full"), std::string::npos);
    EXPECT_NE(log.find("after room was made\r\n"), std::string::npos) << log.substr(log.size() > 300 ? log.size() - 300 : 0);
}
