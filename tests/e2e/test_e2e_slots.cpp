// The real program after start-up: every slot of the outward records that
// an existing module implements is filled. The program writes the empty
// slots (ZM_SLOT_REPORT) once its session has started.
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <regex>
#include <set>
#include <sstream>

#include "e2e/e2e_support.h"
#include "support/test_support.h"

namespace {

// The slots the real start-up may leave empty: only those whose empty value
// is a defined default (the record's comment says what an empty slot does).
const char *const allowed_empty[] = {
    "bump_hooks.supported",              // asks GLEW for the extensions
    "console_links.measure",             // the TrueType text's measure
    "hud_outward.replay_shown",          // replay_mode is not live
    "settings_links.shaders_state",      // the "shaders" option
    "console_command_outward.spawn",     // programs start detached (tests watch)
};

}  // namespace

TEST(E2eSlots, EveryImplementedSlotIsFilledAfterStartUp)
{
    std::string report = test_tmp_path("e2e_slot_report.txt");
    remove(report.c_str());
    setenv("ZM_SLOT_REPORT", report.c_str(), 1);
    GameSetup setup;
    setup.startup_lua = "add_hook('draw2d', 'e2e', function() e2e_quit() end)\n";
    GameRun run = run_game("slots", setup);
    unsetenv("ZM_SLOT_REPORT");
    ASSERT_FALSE(run.timed_out) << run.describe();
    EXPECT_EQ(run.status, 0) << run.describe();
    std::string text = read_whole_file(report);
    ASSERT_NE(text.find("end\n"), std::string::npos) << "no report\n" << run.describe();

    std::set<std::string> allowed(std::begin(allowed_empty), std::end(allowed_empty));
    std::istringstream in(text);
    std::string line, unexpected;
    while (std::getline(in, line))
        if (line != "end" && !allowed.count(line))
            unexpected += line + "\n";
    EXPECT_EQ(unexpected, "") << "slots left empty by the real start-up";
}

// The report's slot list names every function slot and option pointer of
// the outward records, so a slot added to a record cannot slip past the
// test above unlisted.
TEST(E2eSlots, TheReportListsEverySlotOfTheRecords)
{
    const struct {
        const char *header, *type, *record;
    } records[] = {
        {"core/outward.h", "CoreOutward", "core_outward"},
        {"platform/camera.h", "CameraOutward", "camera_outward"},
        {"platform/loop.h", "PlatformOutward", "platform_outward"},
        {"platform/loop.h", "PlatformOptions", "platform_options"},
        {"platform/screenshot.h", "ScreenshotOutward", "screenshot_outward"},
        {"platform/screenshot.h", "RenderOptionRefs", "render_option_refs"},
        {"render/hud.h", "HudTextHooks", "hud_text"},
        {"render/hud.h", "HudOutward", "hud_outward"},
        {"render/scene.h", "RenderOutward", "render_outward"},
        {"render/texture.h", "BumpHooks", "bump_hooks"},
        {"shell/sound_triggers.h", "SoundTriggerOutward", "sound_trigger_outward"},
        {"shell/buddies.h", "NameListLinks", "name_list_links"},
        {"shell/console.h", "ConsoleLinks", "console_links"},
        {"shell/game_control.h", "GameControlLinks", "game_links"},
        {"shell/settings.h", "SettingsLinks", "settings_links"},
        {"script/api_game.h", "ScriptShell", "script_shell"},
        {"script/api_trails.h", "TrailShell", "trail_shell"},
        {"shell/console_commands.h", "ConsoleCommandOutward", "console_command_outward"},
        {"net/client.h", "ClientLinks", "client_links"},
    };
    std::string src = source_dir();
    std::string list = read_whole_file(src + "/shell/slot_report.cpp");
    ASSERT_FALSE(list.empty());
    std::string missing;
    for (const auto &r : records) {
        std::string text = read_whole_file(src + "/" + r.header);
        size_t start = text.find(std::string("struct ") + r.type + " {");
        ASSERT_NE(start, std::string::npos) << r.type;
        size_t end = text.find("\n};", start);
        std::string body = text.substr(start, end - start);
        // Every "(*name)(" is a function slot; "type *name;" an option pointer.
        std::regex slot(R"(\(\*\s*(\w+)\)\s*\(|^\s*[\w ]+\*\s*(\w+);)", std::regex::multiline);
        int found = 0;
        for (auto it = std::sregex_iterator(body.begin(), body.end(), slot); it != std::sregex_iterator(); ++it) {
            std::string name = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
            found++;
            if (list.find(std::string("SLOT(") + r.record + ", " + name + ")") == std::string::npos)
                missing += std::string(r.record) + "." + name + "\n";
        }
        EXPECT_GT(found, 0) << r.type;
    }
    EXPECT_EQ(missing, "") << "slots missing from shell/slot_report.cpp";

    // And every record of slots in the code folders is among the records.
    std::string unknown;
    std::regex record_type(R"(struct (\w+(Outward|Links|Hooks|Shell)) \{)");
    for (const char *folder : {"core", "platform", "render", "shell", "net", "script"}) {
        DIR *dir = opendir((src + "/" + folder).c_str());
        ASSERT_NE(dir, nullptr) << folder;
        while (dirent *e = readdir(dir)) {
            std::string name = e->d_name;
            if (name.size() < 3 || name.substr(name.size() - 2) != ".h")
                continue;
            std::string text = read_whole_file(src + "/" + folder + "/" + name);
            for (auto it = std::sregex_iterator(text.begin(), text.end(), record_type);
                 it != std::sregex_iterator(); ++it) {
                bool listed = false;
                for (const auto &r : records)
                    listed = listed || (*it)[1].str() == r.type;
                if (!listed)
                    unknown += std::string(folder) + "/" + name + ": " + (*it)[1].str() + "\n";
            }
        }
        closedir(dir);
    }
    EXPECT_EQ(unknown, "") << "records of slots the report does not list";
}
