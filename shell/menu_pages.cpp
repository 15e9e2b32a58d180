// Drawing of the menu pages: the title, subtitle, line and hint helpers, the
// main and setup menus, the file-list pages and the pages that edit rows.
// Everything draws in 2D over whatever is behind the page.

// GLEW comes before any other GL header.
#include "render/gl_draw.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/records.h"
#include "net/login.h"
#include "platform/camera.h"
#include "render/hud.h"
#include "render/texture.h"
#include "core/outward.h"
#include "shell/app.h"
#include "shell/console.h"
#include "shell/menus.h"
#include "shell/palette.h"
#include "shell/settings.h"
#include "shell/ttf_text.h"

enum { TITLE_FONT = 0, ROW_FONT = 2, LIST_FONT = 1, LOGO_ROW = 6 };

static const char edit_hint[] = "Hit ENTER to save ; ESC to cancel";

void draw_menu_title(const char *text)
{
    set_colour(text_colours.selected, 0.6f);
    draw_text_centred_offset(TITLE_FONT, 32, text, 2);
    set_colour(text_colours.text, 1.0f);
    draw_text_centred(TITLE_FONT, 30, text);
}

void draw_menu_subtitle(const char *text)
{
    set_colour(text_colours.selected, 0.6f);
    draw_text_centred_offset(ROW_FONT, 3, text, 2);
    set_colour(text_colours.text, 1.0f);
    draw_text_centred(ROW_FONT, 1, text);
}

void draw_menu_lines(const char *const *lines)
{
    if (!lines)
        return;
    set_colour(text_colours.background, 1.0f);
    for (int i = 0; lines[i]; i++)
        draw_text_centred(ROW_FONT, 152 + 40 * i, lines[i]);
    set_colour(text_colours.text, 1.0f);
    for (int i = 0; lines[i]; i++)
        draw_text_centred(ROW_FONT, 150 + 40 * i, lines[i]);
}

void draw_menu_hint(const char *text)
{
    set_colour(text_colours.text, 1.0f);
    draw_text_centred(ROW_FONT, view_height - 30, text);
}

void draw_file_list_page(const char *title, const char *hint, const FileList *files,
                         const char *const *empty_note)
{
    draw_menu_title(title);
    const ScrollList *l = get_menu_list();
    int shown = 0;
    if (l && files) {
        for (int i = 0; i < l->visible_rows; i++) {
            int index = l->first + i;
            if (index < 0 || index > files->last)
                break;
            char line[FILE_NAME_BYTES + 16];
            snprintf(line, sizeof line, "%2i %s", index + 1, files->names[index]);
            float y = (float)(l->first_y + i * l->row_height);
            if (index == l->hover) {
                set_colour(text_colours.selected, 1.0f);
                draw_text(LIST_FONT, (float)l->x + 1, y, line);
            } else {
                set_colour(text_colours.text, 1.0f);
            }
            draw_text(LIST_FONT, (float)l->x, y, line);
            shown = index + 1;
        }
    }
    if (!files || files->last < 0) {
        // Nothing to list: what is missing and where the list comes from.
        draw_menu_lines(empty_note);
    } else {
        char count[32];
        snprintf(count, sizeof count, "%2i - %2i", shown, files->last + 1);
        set_colour(text_colours.text, 1.0f);
        draw_text_centred(LIST_FONT, view_height - 60, count);
    }
    draw_menu_hint(hint);
}

// A row of the main or setup menu: the hovered one in the highlight colour
// twice (the shadow one pixel off), the others with a shadow two pixels off.
static void draw_menu_item(int row, const char *caption)
{
    const ScrollList *l = get_menu_list();
    if (!l || l->row_height <= 0)
        return;
    int y = l->first_y + row * l->row_height;
    if (menu_row_hovered(row)) {
        set_colour(text_colours.selected, 1.0f);
        draw_text_centred_offset(ROW_FONT, y + 1, caption, 1);
        draw_text_centred(ROW_FONT, y, caption);
    } else {
        set_colour(text_colours.background, 0.8f);
        draw_text_centred_offset(ROW_FONT, y + 2, caption, 2);
        set_colour(text_colours.text, 1.0f);
        draw_text_centred(ROW_FONT, y, caption);
    }
}

// A light panel behind the rows keeps them readable over the fighters.
static void draw_menu_panel()
{
    const ScrollList *l = get_menu_list();
    if (!l || l->row_height <= 0)
        return;
    set_colour(text_colours.background, 0.55f);
    draw_rect_filled((float)l->x, (float)(l->first_y - 6), (float)l->right,
                     (float)(l->first_y + l->visible_rows * l->row_height + 4));
}

void draw_main_menu()
{
    draw_menu_panel();
    draw_menu_title("ZYLOMACH");
    for (int i = 0; i < MENU_ITEMS; i++)
        draw_menu_item(i, MainMenuItems[i].caption);
    draw_menu_hint("Hit ESC to close MENU");
}

void draw_setup_menu()
{
    draw_menu_panel();
    draw_menu_title("SETUP");
    for (int i = 0; i < MENU_ITEMS; i++)
        draw_menu_item(i, SetupMenuItems[i].caption);
    draw_menu_hint("Hit ESC to return to MAIN MENU");
}

// The focused edit row is the one the keys type into.
static int focused_row()
{
    const TextLines *t = get_chat_input();
    return t ? t->current_row : -1;
}

static void draw_form_row(int row, int x, const char *label, int masked, int max_chars)
{
    const ScrollList *l = get_menu_list();
    if (!l)
        return;
    char text[TEXT_ROW_UNITS];
    edit_row_text(row, text, sizeof text);
    if (max_chars > 0 && max_chars < (int)sizeof text)
        text[max_chars] = '\0';
    int y = l->first_y + row * l->row_height;
    draw_text_input_box(x, y, label, text, row == focused_row(), masked);
}

void draw_login_page()
{
    draw_menu_title("LOGIN");
    draw_form_row(0, 150, "Username", 0, 0);
    draw_form_row(1, 150, "Password", 1, 0);
    const ScrollList *l = get_menu_list();
    if (l && l->row_height > 0) {
        static const char *const plain[] = {"", "", "Your login is kept in zm_login.dat", "",
                                            "", "No account yet? Register"};
        for (int row = 2; row < 6; row++) {
            if (!plain[row][0])
                continue;
            set_colour(menu_row_hovered(row) ? text_colours.selected : text_colours.text, 1.0f);
            draw_text(LIST_FONT, 150, (float)(l->first_y + row * l->row_height), plain[row]);
        }
        // The console is hidden behind this page: its reason shows here.
        if (login_notice) {
            set_colour(console_kind_colour(MSG_INGAME), 1.0f);
            draw_text(LIST_FONT, 150, (float)(l->first_y + 3 * l->row_height), login_notice);
        }
    }
    draw_menu_hint("Hit ENTER to log in ; ESC to cancel");
}

static const char *const no_replays_note[] = {
    "No replays to list", "The list shows the .rpl files of the replay folder.",
    "Press F in a game to save one there.", nullptr};
const char *const no_servers_note[] = {
    "No servers to list", "The list comes from servers.txt in the game's folder:",
    "one server a line, host:port and a description.", "Press R to read it again.", nullptr};
static const char *const no_mods_note[] = {"No mods to list",
                                           "The list shows the .zmm files of data/mod.", nullptr};
static const char *const no_scripts_note[] = {
    "No scripts to list", "The list shows the .lua files of data/script.", nullptr};

void draw_replays_page()
{
    draw_file_list_page("REPLAYS", "Hit ENTER to watch ; ESC to cancel", &replay_files,
                        no_replays_note);
}

void draw_mods_page()
{
    draw_file_list_page("MODS", "Hit ENTER to load ; ESC to cancel", &mod_files, no_mods_note);
}

void draw_scripts_page()
{
    draw_file_list_page("SCRIPTS", "Hit ENTER to load ; ESC to cancel", &script_files,
                        no_scripts_note);
}

void draw_save_replay_page()
{
    draw_menu_title("SAVE REPLAY");
    draw_form_row(0, 20, "Filename", 0, 256);
    draw_form_row(1, 20, "Author", 0, 256);
    draw_menu_hint(edit_hint);
}

void draw_options_page()
{
    draw_menu_title("Options");
    for (int row = 0; row < OPTIONS_MENU_ROWS; row++)
        draw_form_row(row, 20, OptionsMenuTable[row].label, 0, 0);
    draw_menu_hint(edit_hint);
}

void draw_rules_page()
{
    draw_menu_title("GAME RULES");
    for (int row = 0; row < RULES_MENU_ROWS; row++)
        draw_form_row(row, 20, RulesMenuTable[row].label, 0, 16);
    draw_menu_hint(edit_hint);
}

void draw_about_page()
{
    // Only the first line stands above the logo: the lines below it stay
    // short enough to end left of it.
    static const char *const credits[] = {
        "zylomach, a turn-based fighting game of jointed bodies", "Physics: ODE",
        "Scripting: Lua", nullptr,
    };
    static float pulse;
    draw_menu_title("ABOUT");
    draw_menu_lines(credits);
    pulse += 0.00001f;
    const Texture *logo = table_texture(LOGO_ROW);
    if (logo && texture_loaded(logo)) {
        float scale = sinf(pulse) * 10.0f + 1.0f;
        draw_texture_quad(logo, 500, 200, scale, scale);
    }
    char hint[64];
    snprintf(hint, sizeof hint, "Version %s ; ESC to return", program_version);
    draw_menu_hint(hint);
}

void draw_plain_server_page()
{
    draw_menu_title("MULTI PLAYER");
    draw_menu_lines(no_servers_note);
    draw_menu_hint("Select a server to connect ; ESC - Cancel ; 'R' - Refresh");
}
