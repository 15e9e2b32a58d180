#include "script/api_draw.h"

#include <GL/glew.h>

#include <cmath>
#include <cstdio>
#include <cstring>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include "core/blood.h"
#include "core/records.h"
#include "core/text.h"
#include "core/world.h"
#include "render/gl_draw.h"
#include "render/hud.h"
#include "render/scene.h"
#include "script/api_game.h"
#include "script/api_support.h"
#include "script/script_textures.h"

namespace {

enum { DEFAULT_FONT = 1, TEXTURE_PATH_BYTES = 512, CHAT_ROW_HEIGHT = 20 };
const double DEGREES = 0.017453292519943295;
const char BLOOD_RANGE[] = "blood index out of range";
const char MESSAGE_RANGE[] = "message index out of range";
// Largest pixel position or size a script may draw with.
const double PIXEL_LIMIT = 1e6;

const double identity[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

// The font argument at position arg when given, else the small font.
int font_arg(lua_State *L, int arg)
{
    if (lua_gettop(L) < arg)
        return DEFAULT_FONT;
    int font = api_whole(L, arg);
    return font >= 0 && font <= 2 ? font : DEFAULT_FONT;
}

// A number of a drawing call. NaN, infinities and absurd sizes (a script
// dividing by zero) do not raise an error: they only make the call draw
// nothing (drawable below).
int bad_number;

double number_arg(lua_State *L, int arg, double limit)
{
    double v = luaL_checknumber(L, arg);
    if (!std::isfinite(v) || std::fabs(v) > limit) {
        bad_number = 1;
        return 0;
    }
    return v;
}

// 1 when the call may draw now: a GL context exists and none of its
// numbers was bad. Clears the mark for the next call.
int drawable()
{
    int ok = script_gl_ready && !bad_number;
    bad_number = 0;
    return ok;
}

double pixel(lua_State *L, int arg, const char *)
{
    return number_arg(L, arg, PIXEL_LIMIT);
}

// The rotation table at position arg (r0..r11, missing fields 0), or the
// identity when the argument is absent or not a table.
void read_rotation(lua_State *L, int arg, double out[12])
{
    memcpy(out, identity, sizeof identity);
    if (lua_gettop(L) < arg || lua_type(L, arg) != LUA_TTABLE)
        return;
    for (int i = 0; i < 12; i++) {
        char key[8];
        snprintf(key, sizeof key, "r%d", i);
        lua_getfield(L, arg, key);
        double v = (float)lua_tonumber(L, -1);
        lua_pop(L, 1);
        out[i] = std::isfinite(v) ? v : 0;
    }
}

// The rotation from three angles in degrees at arg..arg+2.
void read_angles(lua_State *L, int arg, const char *usage, double out[12])
{
    double a[3];
    for (int k = 0; k < 3; k++)
        a[k] = number_arg(L, arg + k, API_WORLD_LIMIT) * DEGREES;
    dRFromEulerAngles(out, a[0], a[1], a[2]);
}

void read_position(lua_State *L, const char *usage, double out[3])
{
    for (int k = 0; k < 3; k++)
        out[k] = number_arg(L, k + 1, API_WORLD_LIMIT);
}

// A size argument: finite and not absurd.
double read_size(lua_State *L, int arg, const char *usage)
{
    return number_arg(L, arg, API_WORLD_LIMIT);
}

const BloodDrop *blood_arg(lua_State *L, const char *usage)
{
    api_need_args(L, 1, usage);
    int i = api_index(L, 1, NUM_BLOOD_DROPS - 1, BLOOD_RANGE);
    return get_blood_drop(i);
}

int chat_count()
{
    return script_shell.console_line_count ? script_shell.console_line_count() : 0;
}

int chat_index(lua_State *L, int arg)
{
    int i = api_whole(L, arg);
    if (i < 0 || i >= chat_count())
        luaL_error(L, "%s", MESSAGE_RANGE);
    return i;
}

TextLines *chat_input()
{
    return script_shell.chat_input ? script_shell.chat_input() : nullptr;
}

}  // namespace

// ---- textures and 2D ------------------------------------------------------------------

int lua_load_texture(lua_State *L)
{
    api_need_args(L, 1, "Usage: texid = load_texture(string texture_name)\n");
    const char *name = luaL_checkstring(L, 1);
    char path[TEXTURE_PATH_BYTES];
    int n = snprintf(path, sizeof path, "data/script/%s", name);
    int slot = -1;
    // A name that climbs out of the scripts' folder or does not fit is refused.
    if (n > 0 && n < SCRIPT_TEXTURE_PATH && !strstr(name, "..") && name[0] != '/')
        slot = find_or_load_script_texture(script_texture_table, path);
    else
        fprintf(stderr, "load_texture: refused name\n");
    lua_pushinteger(L, slot);
    return 1;
}

int lua_set_color(lua_State *L)
{
    bad_number = 0;
    const char *usage = "Usage: set_color(number red, number green, number blue, number alpha)\n";
    api_need_args(L, 4, usage);
    float c[4];
    for (int k = 0; k < 4; k++)
        c[k] = (float)number_arg(L, k + 1, PIXEL_LIMIT);
    int gl = script_gl_ready;
    if (bad_number) {
        bad_number = 0;
        return 0;
    }
    if (gl)
        set_draw_color(c[0], c[1], c[2], c[3]);
    else
        for (int k = 0; k < 4; k++)
            draw_color[k] = c[k];
    return 0;
}

int lua_draw_quad(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_quad(number pos_x, number pos_y, number width, number height [, integer texture_id])\n";
    api_need_args(L, 4, usage);
    double x = pixel(L, 1, usage), y = pixel(L, 2, usage);
    double w = pixel(L, 3, usage), h = pixel(L, 4, usage);
    if (lua_gettop(L) >= 5) {
        int id = api_whole(L, 5);
        Texture *texture = id >= 0 && id < SCRIPT_TEXTURE_SLOTS
                               ? get_script_texture(script_texture_table, id)
                               : nullptr;
        if (drawable() && texture)
            draw_textured_quad(texture, (float)x, (float)y, (float)w, (float)h);
        return 0;
    }
    if (drawable())
        draw_quad_2d((float)x, (float)y, (float)(x + w), (float)(y + h));
    return 0;
}

int lua_draw_disk(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_disk(number pos_x, number pos_y, number inner, number outer, integer slices, "
        "integer loops, number start, number sweep, integer blend)\n";
    api_need_args(L, 9, usage);
    double x = pixel(L, 1, usage), y = pixel(L, 2, usage);
    double inner = pixel(L, 3, usage), outer = pixel(L, 4, usage);
    int slices = api_whole(L, 5), loops = api_whole(L, 6);
    double start = pixel(L, 7, usage), sweep = pixel(L, 8, usage);
    int blend = api_whole(L, 9);
    // No subdivision draws nothing; thousands would only stall the frame.
    if (!drawable() || slices < 1 || slices > 1000 || loops < 1 || loops > 1000)
        return 0;
    glBindTexture(GL_TEXTURE_2D, 0);
    draw_partial_disk_2d((float)x, (float)y, (float)inner, (float)outer, slices, loops,
                         (float)start, (float)sweep, blend != 0);
    return 0;
}

static int draw_text_at(lua_State *L, const char *usage, int right)
{
    bad_number = 0;
    api_need_args(L, 3, usage);
    const char *text = luaL_checkstring(L, 1);
    double x = pixel(L, 2, usage), y = pixel(L, 3, usage);
    int font = font_arg(L, 4);
    if (!drawable())
        return 0;
    if (right && hud_text.draw_text_right)
        hud_text.draw_text_right(font, (int)x, (int)y, text);
    else if (!right && hud_text.draw_text)
        hud_text.draw_text(font, (float)x, (float)y, text);
    return 0;
}

int lua_draw_text(lua_State *L)
{
    bad_number = 0;
    return draw_text_at(
        L, "Usage: draw_text(string text, number pos_x, number pos_y [, integer font_type])\n", 0);
}

int lua_draw_right_text(lua_State *L)
{
    bad_number = 0;
    return draw_text_at(
        L, "Usage: draw_right_text(string text, number pos_x, number pos_y [, integer font_type])\n", 1);
}

int lua_draw_centered_text(lua_State *L)
{
    bad_number = 0;
    const char *usage = "Usage: draw_centered_text(string text, number pos_y [, integer font_type])\n";
    api_need_args(L, 2, usage);
    const char *text = luaL_checkstring(L, 1);
    double y = pixel(L, 2, usage);
    int font = font_arg(L, 3);
    if (drawable() && hud_text.draw_text_centred)
        hud_text.draw_text_centred(font, (int)y, text);
    return 0;
}

int lua_draw_boxed_text(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_boxed_text(string text, number pos_x, number pos_y, number box_width, number "
        "box_height, number line_height, [, integer font_type])\n";
    api_need_args(L, 6, usage);
    const char *text = luaL_checkstring(L, 1);
    int v[5];
    for (int k = 0; k < 5; k++)
        v[k] = (int)pixel(L, k + 2, usage);
    int font = font_arg(L, 7);
    if (drawable())
        draw_boxed_text_8bit(text, font, v[0], v[1], v[2], v[3], v[4]);
    return 0;
}

// ---- 3D shapes ------------------------------------------------------------------------

int lua_draw_sphere(lua_State *L)
{
    bad_number = 0;
    const char *usage = "Usage: draw_sphere( number pos_x, number pos_y, number pos_z, number radius)\n";
    api_need_args(L, 4, usage);
    double pos[3];
    read_position(L, usage, pos);
    double radius = read_size(L, 4, usage);
    if (drawable())
        draw_sphere_geom(pos, nullptr, nullptr, identity, radius, DRAW_PLAIN, nullptr, nullptr);
    return 0;
}

int lua_draw_sphere_m(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_sphere_m( number pos_x, number pos_y, number pos_z, number radius, table matrix_rot)\n";
    int n = lua_gettop(L);
    if (n != 4 && n != 5)
        return luaL_error(L, "%s", usage);
    double pos[3], rot[12];
    read_position(L, usage, pos);
    double radius = read_size(L, 4, usage);
    read_rotation(L, 5, rot);
    if (drawable())
        draw_sphere_geom(pos, nullptr, nullptr, rot, radius, DRAW_PLAIN, nullptr, nullptr);
    return 0;
}

int lua_draw_box(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_box( number pos_x, number pos_y, number pos_z, number size_x, number size_y, "
        "number size_z, number rotation_x, rotation_y, rotation_z)\n";
    int n = lua_gettop(L);
    if (n != 6 && n != 9)
        return luaL_error(L, "%s", usage);
    double pos[3], sides[3], rot[12];
    read_position(L, usage, pos);
    for (int k = 0; k < 3; k++)
        sides[k] = read_size(L, 4 + k, usage);
    memcpy(rot, identity, sizeof rot);
    if (n == 9)
        read_angles(L, 7, usage, rot);
    if (drawable())
        draw_box_geom(pos, nullptr, nullptr, rot, sides, DRAW_PLAIN, nullptr, nullptr);
    return 0;
}

int lua_draw_box_m(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_box_m( number pos_x, number pos_y, number pos_z, number size_x, number size_y, "
        "number size_z, table matrix_rot)\n";
    int n = lua_gettop(L);
    if (n != 6 && n != 7)
        return luaL_error(L, "%s", usage);
    double pos[3], sides[3], rot[12];
    read_position(L, usage, pos);
    for (int k = 0; k < 3; k++)
        sides[k] = read_size(L, 4 + k, usage);
    read_rotation(L, 7, rot);
    if (drawable())
        draw_box_geom(pos, nullptr, nullptr, rot, sides, DRAW_PLAIN, nullptr, nullptr);
    return 0;
}

int lua_draw_capsule(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_capsule( number pos_x, number pos_y, number pos_z, number height, number radius, "
        "number rotation_x, rotation_y, rotation_z)\n";
    int n = lua_gettop(L);
    if (n != 5 && n != 8)
        return luaL_error(L, "%s", usage);
    double pos[3], rot[12];
    read_position(L, usage, pos);
    double length = read_size(L, 4, usage), radius = read_size(L, 5, usage);
    memcpy(rot, identity, sizeof rot);
    if (n == 8)
        read_angles(L, 6, usage, rot);
    if (drawable())
        draw_capsule_geom(pos, nullptr, nullptr, rot, length, radius, DRAW_PLAIN, nullptr, nullptr);
    return 0;
}

int lua_draw_capsule_m(lua_State *L)
{
    bad_number = 0;
    const char *usage =
        "Usage: draw_capsule_m( number pos_x, number pos_y, number pos_z, number height, number radius, "
        "table matrix_rot)\n";
    int n = lua_gettop(L);
    if (n != 5 && n != 6)
        return luaL_error(L, "%s", usage);
    double pos[3], rot[12];
    read_position(L, usage, pos);
    double length = read_size(L, 4, usage), radius = read_size(L, 5, usage);
    read_rotation(L, 6, rot);
    if (drawable())
        draw_capsule_geom(pos, nullptr, nullptr, rot, length, radius, DRAW_PLAIN, nullptr, nullptr);
    return 0;
}

// ---- blood drops ----------------------------------------------------------------------

int lua_get_num_blood_particles(lua_State *L)
{
    lua_pushinteger(L, NUM_BLOOD_DROPS);
    return 1;
}

int lua_get_active_bloods(lua_State *L)
{
    lua_newtable(L);
    int key = 0;
    for (int i = 0; i < NUM_BLOOD_DROPS; i++) {
        const BloodDrop *d = get_blood_drop(i);
        if (d && d->life > 0) {
            lua_pushinteger(L, i);
            lua_rawseti(L, -2, key++);
        }
    }
    return 1;
}

int lua_get_blood_age(lua_State *L)
{
    const BloodDrop *d = blood_arg(L, "Usage: age = get_blood_age(integer blood_index)\n");
    lua_pushnumber(L, d ? d->life : 0);
    return 1;
}

static double drop_radius(const BloodDrop *d)
{
    if (!d)
        return 0;
    if (d->geom && dGeomGetClass(d->geom) == dSphereClass)
        return dGeomSphereGetRadius(d->geom);
    return d->size;
}

int lua_get_blood_radius(lua_State *L)
{
    const BloodDrop *d = blood_arg(L, "Usage: radius = get_blood_radius(integer blood_index)\n");
    lua_pushnumber(L, drop_radius(d));
    return 1;
}

int lua_get_blood_pos(lua_State *L)
{
    const BloodDrop *d = blood_arg(L, "Usage: x,y,z = get_blood_pos(integer blood_index)\n");
    double v[3] = {0, 0, 0};
    if (d && d->geom) {
        const dReal *p = dGeomGetPosition(d->geom);
        v[0] = p[0];
        v[1] = p[1];
        v[2] = p[2] + (drop_radius(d) - 0.1);
    }
    for (double c : v)
        lua_pushnumber(L, c);
    return 3;
}

int lua_get_blood_vel(lua_State *L)
{
    const BloodDrop *d = blood_arg(L, "Usage: x,y,z = get_blood_vel(integer blood_index)\n");
    double v[3] = {0, 0, 0};
    if (d && d->body) {
        const dReal *p = dBodyGetLinearVel(d->body);
        for (int k = 0; k < 3; k++)
            v[k] = p[k];
    }
    for (double c : v)
        lua_pushnumber(L, c);
    return 3;
}

// ---- the message console and its input line ------------------------------------------

int lua_get_total_chat_lines(lua_State *L)
{
    lua_pushinteger(L, chat_count());
    return 1;
}

int lua_get_cur_chat_lines(lua_State *L)
{
    lua_pushinteger(L, script_shell.console_rows_shown ? script_shell.console_rows_shown() : 0);
    return 1;
}

int lua_get_compact_chat_lines(lua_State *L)
{
    lua_pushinteger(L, script_shell.console_compact_rows ? script_shell.console_compact_rows() : 0);
    return 1;
}

int lua_get_full_mode_chat_lines(lua_State *L)
{
    lua_pushinteger(L, script_shell.console_full_rows ? script_shell.console_full_rows() : 0);
    return 1;
}

int lua_get_chat_type(lua_State *L)
{
    api_need_args(L, 1, "Usage: get_chat_type(integer index)\n");
    int i = chat_index(L, 1);
    lua_pushinteger(L, script_shell.console_line_kind ? script_shell.console_line_kind(i) : 0);
    return 1;
}

int lua_draw_chat_message(lua_State *L)
{
    bad_number = 0;
    const char *usage = "Usage: draw_chat_message(integer index, number pos_x, number pos_y)\n";
    api_need_args(L, 3, usage);
    int i = chat_index(L, 1);
    int x = (int)pixel(L, 2, usage), y = (int)pixel(L, 3, usage);
    if (drawable() && script_shell.draw_console_line)
        script_shell.draw_console_line(i, x, y);
    return 0;
}

int lua_draw_chat_messages(lua_State *L)
{
    bad_number = 0;
    const char *usage = "Usage: draw_chat_messages(number pos_x, number pos_y)\n";
    api_need_args(L, 2, usage);
    int x = (int)pixel(L, 1, usage), y = (int)pixel(L, 2, usage);
    if (drawable() && script_shell.draw_console_at)
        script_shell.draw_console_at(x, y);
    return 0;
}

int lua_draw_chat_input(lua_State *L)
{
    bad_number = 0;
    const char *usage = "Usage: draw_chat_input(number pos_x, number pos_y, bool force_show)\n";
    api_need_args(L, 2, usage);
    int x = (int)pixel(L, 1, usage), y = (int)pixel(L, 2, usage);
    int force = lua_toboolean(L, 3);
    if (drawable() && script_shell.draw_say_box)
        script_shell.draw_say_box(x, y, force);
    return 0;
}

int lua_chat_input_activate(lua_State *)
{
    if (TextLines *t = chat_input())
        text_lines_activate(t);
    return 0;
}

int lua_chat_input_deactivate(lua_State *)
{
    if (TextLines *t = chat_input())
        text_lines_deactivate(t);
    return 0;
}

int lua_chat_input_is_active(lua_State *L)
{
    TextLines *t = chat_input();
    lua_pushboolean(L, t && text_lines_is_active(t));
    return 1;
}

int lua_chat_input_clear(lua_State *L)
{
    if (TextLines *t = chat_input())
        text_lines_clear(t);
    return 0;
}
