// The update host (settings files) and channel (installed.json) of a run.
#include <gtest/gtest.h>

#include <string>

#include "build_config.h"
#include "core/launcher_state.h"
#include "core/text.h"
#include "support/test_support.h"
#include "updates/update_paths.h"
#include "updates/update_source.h"

namespace {

struct UpdateSourceTest : testing::Test {
    std::string folder = make_temp_folder("source");
    std::string ini = folder + "\\zandor.ini";
    void SetUp() override {
        launcher_state_reset();
        update_paths_init(&launcher.update_paths, folder.c_str());
        copy_text(launcher.settings_path, PATH_CAP, ini.c_str());
    }
    void TearDown() override { remove_tree(folder); }
};

}  // namespace

TEST_F(UpdateSourceTest, HostAndChannel) {
    read_update_host_and_channel();
    EXPECT_STREQ(launcher.update_host, ZANDOR_SERVER_ADDRESS);
    EXPECT_STREQ(launcher.account_host, ZANDOR_SERVER_ADDRESS);
    EXPECT_STREQ(launcher.update_channel, "client");

    write_file(ini, "[sync]\nhost=u.example\n");
    write_file(folder + "\\ombrix_data\\updates\\installed.json", "{\"channel\": \"beta\"}");
    read_update_host_and_channel();
    EXPECT_STREQ(launcher.update_host, "u.example");
    EXPECT_STREQ(launcher.update_channel, "beta");
}
