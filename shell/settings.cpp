#include "shell/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/outward.h"
#include "core/rules.h"
#include "core/safe_file.h"
#include "core/text.h"
#include "shell/app.h"
#include "shell/options.h"

SettingsLinks settings_links;
int graphics_reload_pending;

const OptionsMenuRow OptionsMenuTable[OPTIONS_MENU_ROWS] = {
    {0, "mousebuttons", "Mouse Buttons", OPT_MOUSEBUTTONS},
    {1, "volume", "Volume", -1},
    {2, "music", "Music", OPT_MUSIC},
    {3, "musicvolume", "Music Volume", -1},
    {4, "fullscreen", "Fullscreen", OPT_FULLSCREEN},
    {5, "autosave_rpl", "Autosave replays", OPT_AUTOSAVE},
    {6, "frameskip", "Frame Skipping", OPT_FRAMESKIP},
    {7, "shaders", "Shaders", OPT_SHADERS},
    {8, "fluid", "    Fluid Blood", OPT_FLUID},
    {9, "reflection", "    Reflections", OPT_REFLECTION},
    {10, "softshadow", "    Soft Shadows", OPT_SOFTSHADOW},
    {11, "transparency", "    Transparency", OPT_TRANSPARENCY},
    {12, "ambientocclusion", "    Ambient Occlusion", OPT_AMBIENTOCCLUSION},
    {13, "bumpmapping", "    Bumpmapping", OPT_BUMPMAPPING},
    {14, "noreload", "Disable Graphics Reloading (Advanced)", OPT_NORELOAD},
};

// Row i is the rule option with id i.
const RulesMenuRow RulesMenuTable[RULES_MENU_ROWS] = {
    {"default", "Default"},
    {"matchframes", "Match frames"},
    {"turnframes", "Turn frames"},
    {"mod", "Mod"},
    {"flags", "Flags"},
    {"dismemberment", "Dismemberment"},
    {"fracture", "Fracture"},
    {"disqualification", "Disqualifications"},
    {"dqtimeout", "DQ timeout"},
    {"dismemberthreshold", "Dismember Threshold"},
    {"fracturethreshold", "Fracture Threshold"},
    {"dojotype", "Dojo Type"},
    {"dojosize", "Dojo Size"},
    {"engagedistance", "Engage Distance"},
    {"engageheight", "Engage Height"},
    {"engagerotation", "Engage Rotation"},
    {"engagespace", "Engage Space"},
    {"engageplayerpos", "Engage Players Position"},
    {"engageplayerrot", "Engage Players Rotation"},
    {"damage", "Damage"},
};

static const char *const store_keys[SETTINGS_KEYS] = {
    "nick", "mousebuttons", "music", "volume", "musicvolume", "fullscreen",
    "autosave_rpl", "frameskip", "fluid", "reflection", "transparency", "softshadow",
    "ambientocclusion", "bumpmapping", "shaders", "noreload", "default", "matchframes",
    "turnframes", "mod", "flags", "dismemberment", "fracture", "disqualification",
    "dqtimeout", "dismemberthreshold", "fracturethreshold", "dojotype", "dojosize",
    "engagedistance", "engageheight", "engagerotation", "engagespace", "engageplayerpos",
    "engageplayerrot", "damage",
    // Read by main before the program starts (the updater), kept otherwise.
    "autoupdate",
};

static const char header_line[] = "#Automatically generated from Setup. Don't edit\r\n";

// ---- the store ------------------------------------------------------------------------

SetupKeyStore::SetupKeyStore(const char *file_path)
{
    n_strncpyz(path, file_path ? file_path : "", sizeof path);
    for (int i = 0; i < SETTINGS_KEYS; i++) {
        rows[i].key = store_keys[i];
        rows[i].value[0] = '\0';
    }
    rows[SETTINGS_KEYS].key = "";
    rows[SETTINGS_KEYS].value[0] = '\0';
    refusal = READ_MISSING;
    refusal_told = 0;
    read();
}

int SetupKeyStore::kept() const { return read_refusal_keeps_file(refusal); }

SettingsRow *SetupKeyStore::find(const char *key)
{
    if (key) {
        for (SettingsRow *row = rows; row->key[0]; row++)
            if (strcmp(row->key, key) == 0)
                return row;
    }
    fprintf(stderr, "no such key %s\n", key ? key : "(null)");
    return nullptr;
}

int SetupKeyStore::get(const char *key, char *out, int size)
{
    SettingsRow *row = find(key);
    if (!row)
        return 1;
    if (out && size > 0)
        n_strncpyz(out, row->value, size);
    return row->value[0] ? 0 : 1;
}

int SetupKeyStore::set(const char *key, const char *value)
{
    SettingsRow *row = find(key);
    if (!row)
        return 1;
    n_strncpyz(row->value, value ? value : "", sizeof row->value);
    // One value is one line of the file: a line end would start another.
    row->value[strcspn(row->value, "\r\n")] = '\0';
    return 0;
}

int SetupKeyStore::write()
{
    if (kept()) {
        fprintf(stderr, "Not writing %s: it could not be read (%s)\n", path,
                read_refusal_text(refusal));
        return 1;
    }
    SafeFile out;
    if (safe_open(&out, path) != 0) {
        fprintf(stderr, "Unable to open %s: %s\n", path, strerror(errno));
        return 1;
    }
    fputs(header_line, out.f);
    for (const SettingsRow *row = rows; row->key[0]; row++)
        if (row->value[0])
            fprintf(out.f, "%s \"%s\"\r\n", row->key, row->value);
    return safe_commit(&out);
}

// The next key and value of a settings file (both SETTINGS_LINE_BYTES);
// 0 at the end of the file. The value comes without its double quotes.
static int next_setting(FILE *f, char *key, char **value)
{
    char line[SETTINGS_LINE_BYTES];
    static thread_local char text[SETTINGS_LINE_BYTES];
    while (fgets(line, sizeof line, f)) {
        size_t n = strlen(line);
        // The rest of an overlong line is not a line of its own.
        if (n > 0 && line[n - 1] != '\n' && !feof(f)) {
            int c;
            while ((c = fgetc(f)) != EOF && c != '\n') {
            }
        }
        if (line[0] == '#')
            continue;
        if (sscanf(line, "%1023s %1023[^\r\n]", key, text) != 2)
            continue;
        *value = trim_quotes(text);
        return 1;
    }
    return 0;
}

int SetupKeyStore::read()
{
    FILE *f = open_read_file(path, 1 << 20, &refusal);
    if (!f) {
        fprintf(stderr, "unable to open %s: %s\n", path, read_refusal_text(refusal));
        return 1;
    }
    char key[SETTINGS_LINE_BYTES];
    char *value = nullptr;
    while (next_setting(f, key, &value))
        set(key, value);
    fclose(f);
    return 0;
}

int tell_settings_kept(SetupKeyStore *store)
{
    if (!store || !store->kept() || store->refusal_told)
        return 0;
    store->refusal_told = 1;
    char line[SETTINGS_PATH_BYTES + 96];
    snprintf(line, sizeof line, "%s could not be read (%s): changes to the settings will not be saved",
             store->path, read_refusal_text(store->refusal));
    echo_message(line, MSG_INGAME);
    return 1;
}

int read_stored_setting(const char *file_path, const char *key, char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    FILE *f = file_path && key ? open_read_file(file_path, 1 << 20) : nullptr;
    if (!f)
        return 1;
    char found[SETTINGS_LINE_BYTES];
    char *value = nullptr;
    int result = 1;
    while (next_setting(f, found, &value))
        if (strcmp(found, key) == 0) {
            n_strncpyz(out, value, size < SETTINGS_VALUE_BYTES ? size : SETTINGS_VALUE_BYTES);
            result = out[0] ? 0 : 1;
        }
    fclose(f);
    return result;
}

// ---- options -------------------------------------------------------------------------

// Volumes kept while no sound module is linked in.
static int kept_effect_volume = 128;
static int kept_music_volume = 40;

static int effect_volume()
{
    return settings_links.effect_volume ? settings_links.effect_volume() : kept_effect_volume;
}
static int music_volume()
{
    return settings_links.music_volume ? settings_links.music_volume() : kept_music_volume;
}
static int fullscreen_state()
{
    return settings_links.fullscreen_state ? settings_links.fullscreen_state()
                                           : get_option(OPT_FULLSCREEN);
}
static int shaders_state()
{
    return settings_links.shaders_state ? settings_links.shaders_state()
                                        : get_option(OPT_SHADERS);
}

static int clamp_int(long v, int low, int high)
{
    return v < low ? low : v > high ? high : (int)v;
}

int get_option_text(int row, char *out, int size)
{
    if (!out || size < 1)
        return 1;
    out[0] = '\0';
    if (row < 0 || row >= OPTIONS_MENU_ROWS)
        return 1;
    int value;
    switch (row) {
    case 1: value = effect_volume(); break;
    case 3: value = music_volume(); break;
    case 4: value = fullscreen_state(); break;
    case 7: value = shaders_state(); break;
    default: value = get_option(OptionsMenuTable[row].option); break;
    }
    snprintf(out, size, "%i", value);
    return 0;
}

static void toggle_render_option(int option)
{
    if (settings_links.toggle_render_option)
        settings_links.toggle_render_option(option);
    else
        set_option(option, get_option(option) ? 0 : 1);
}

int apply_option(int row, const char *text)
{
    if (row < 0 || row >= OPTIONS_MENU_ROWS || !text)
        return 1;
    long n = strtol(text, nullptr, 10);
    int on = n == 1;
    int option = OptionsMenuTable[row].option;
    switch (row) {
    case 0:
        set_option(OPT_MOUSEBUTTONS, n > 0 ? clamp_int(n, 1, 0x7fffffff) : 1);
        break;
    case 1: {
        int v = clamp_int(n, 0, 128);
        if (settings_links.set_effect_volume)
            settings_links.set_effect_volume(v);
        else
            kept_effect_volume = v;
        break;
    }
    case 2: {
        // Five tracks; a negative number is no track.
        int track = clamp_int(n, 0, 5);
        if (track != get_option(OPT_MUSIC)) {
            set_option(OPT_MUSIC, track);
            if (settings_links.stop_music)
                settings_links.stop_music();
            if (track != 0 && settings_links.start_music)
                settings_links.start_music(track - 1);
        }
        break;
    }
    case 3: {
        int v = clamp_int(n, 0, 128);
        if (settings_links.set_music_volume)
            settings_links.set_music_volume(v);
        else
            kept_music_volume = v;
        break;
    }
    case 4:
        if (on != (fullscreen_state() != 0)) {
            if (settings_links.toggle_fullscreen)
                settings_links.toggle_fullscreen();
            else
                set_option(OPT_FULLSCREEN, on);
        }
        break;
    case 5:
        set_option(OPT_AUTOSAVE, on);
        break;
    case 7:
        if (on != (shaders_state() != 0))
            toggle_render_option(OPT_SHADERS);
        break;
    case 13:
        if (on != (get_option(OPT_BUMPMAPPING) != 0)) {
            toggle_render_option(OPT_BUMPMAPPING);
            if (shaders_state() && settings_links.rebuild_shaders)
                settings_links.rebuild_shaders();
        }
        break;
    default:   // 6, 8 to 12, 14: plain render toggles
        if (on != (get_option(option) != 0)) {
            toggle_render_option(option);
            if (row == 8 || row == 9 || row == 10 || row == 12)
                graphics_reload_pending = 1;
        }
        break;
    }
    return 0;
}

int apply_game_rule(int row, const char *text, int from_store)
{
    // Row 0 ("default") names the kind of the stored rules, which are the
    // offline ones: there is nothing to apply.
    if (row < 1 || row >= RULES_MENU_ROWS || !text)
        return 1;
    return set_rule_by_name(RulesMenuTable[row].key, text, &setup_rules);
}

// ---- load and save --------------------------------------------------------------------

// Options rows whose value was requested for this run (command line,
// start-up script) and so not taken from the store, with that value as text:
// unchanged at exit, the stored choice stays as it was.
static unsigned char run_request_kept[OPTIONS_MENU_ROWS];
static char run_request_text[OPTIONS_MENU_ROWS][16];

int choose_option(int row, const char *text)
{
    if (row < 0 || row >= OPTIONS_MENU_ROWS || !text)
        return 1;
    char now[SETTINGS_VALUE_BYTES];
    if (get_option_text(row, now, sizeof now) == 0 &&
        strtol(now, nullptr, 10) != strtol(text, nullptr, 10))
        run_request_kept[row] = 0;
    return apply_option(row, text);
}

int save_settings(SetupKeyStore *store)
{
    if (!store)
        return 1;
    char text[SETTINGS_VALUE_BYTES];
    for (int row = 0; row < OPTIONS_MENU_ROWS; row++) {
        if (get_option_text(row, text, sizeof text) != 0)
            continue;
        if (run_request_kept[row] && strcmp(text, run_request_text[row]) == 0)
            continue;
        // Once changed and saved, the row is the player's stored choice.
        run_request_kept[row] = 0;
        store->set(OptionsMenuTable[row].key, text);
    }
    for (int row = 0; row < RULES_MENU_ROWS; row++)
        store->set(RulesMenuTable[row].key, get_rule_text(0, row, &setup_rules));
    return store->write();
}

int save_settings() { return save_settings(get_setup_store()); }

void load_settings(SetupKeyStore *store)
{
    fill_default_rules(0, &setup_rules);
    fill_default_rules(0, &mod_rules);
    if (store) {
        for (int row = 0; row < OPTIONS_MENU_ROWS; row++) {
            // What was asked for this run wins over what was stored.
            int option = OptionsMenuTable[row].option;
            run_request_kept[row] = 0;
            if (option >= 0 && option_requested[option]) {
                run_request_kept[row] =
                    get_option_text(row, run_request_text[row], sizeof run_request_text[row]) == 0;
                continue;
            }
            SettingsRow *r = store->find(OptionsMenuTable[row].key);
            if (r && r->value[0])
                apply_option(row, r->value);
        }
        for (int row = 0; row < RULES_MENU_ROWS; row++) {
            SettingsRow *r = store->find(RulesMenuTable[row].key);
            if (r && r->value[0])
                apply_game_rule(row, r->value, 1);
        }
    }
    if (cmdline_mod[0])
        n_strncpyz(setup_rules.mod, cmdline_mod, sizeof setup_rules.mod);
    stored_options_applied = 1;
    tell_settings_kept(store);
}

void load_settings() { load_settings(get_setup_store()); }

void save_all_at_exit()
{
    if (settings_links.free_trails)
        settings_links.free_trails();
    if (settings_links.free_file_list)
        settings_links.free_file_list();
    save_settings();
}
