// The core tests' entry point. The main window writes its settings file when it goes, so
// the settings go to a temporary directory; a player block that the window tests create
// under the player's own name (the window opens it at initialisation) is removed at the
// end unless it was there before. Where the settings file has a fixed place (Windows), the
// file found there is put back at the end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "player/player_info.h"
#include "tests/core/support.h"

namespace {

class CoreEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        blockExisted_ = strofix_test::SharedBlockExists(kPlayerBlockName);
        config_ = std::make_unique<strofix_test::TempDir>();
        strofix_test::SetEnv("XDG_CONFIG_HOME", config_->Str().c_str());
        settingsPath_ = platform::SettingsFilePath();
        std::ifstream in(settingsPath_, std::ios::binary);
        if (in) settings_ = std::string(std::istreambuf_iterator<char>(in), {});
    }
    void TearDown() override {
        if (!blockExisted_) {
            platform::RemoveSharedBlock(kPlayerBlockName);
            platform::RemoveNamedEvent(kPlayerEventName);
        }
        if (settings_) {
            std::ofstream(settingsPath_, std::ios::binary | std::ios::trunc) << *settings_;
        } else {
            std::error_code ec;
            std::filesystem::remove(settingsPath_, ec);
        }
        config_.reset();
    }

private:
    bool blockExisted_ = false;
    std::unique_ptr<strofix_test::TempDir> config_;
    std::string settingsPath_;
    std::optional<std::string> settings_;  // the settings file as it was before the tests
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new CoreEnvironment);
    return RUN_ALL_TESTS();
}
