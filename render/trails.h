// Trails: four fading ribbons per fighter behind the arms and legs. Every
// simulation frame update_trails adds a quad between a limb's previous and
// current position, ages the quads and gathers the live ones; draw_trails
// draws them.
#pragma once

#include <cstdint>

struct Texture;

enum {
    TRAIL_PLAYERS = 4,
    TRAILS_PER_PLAYER = 4,
    TRAIL_RIBBONS = TRAIL_PLAYERS * TRAILS_PER_PLAYER,
    TRAIL_POOL = 256,
    TRAIL_LENGTH = 50
};

struct TrailVertex {
    float colour[4];
    float uv[2];
    float position[3];
};
static_assert(sizeof(TrailVertex) == 36, "trail vertex stride");

struct TrailPoint {
    TrailVertex v[4];
    int32_t life;                 // 0 = free
    int32_t value;
};

struct TrailRibbon {
    int32_t pool_size;            // 256
    int32_t quad_count;           // live quads gathered by the last update
    int32_t length;               // updates a quad lives (50)
    TrailPoint *points;           // pool_size records
    TrailVertex *quads;           // pool_size x 4
    int32_t *free_stack;          // pool_size indices
    int32_t free_top;
    float colour1[4];
    float colour2[4];
    float last_a[3];
    float last_b[3];
    int32_t has_last;
    int32_t enabled;
    int32_t drawable;
    Texture *texture;
};

// Ribbon of player p, trail t: trail_ribbons[p * 4 + t] (null before
// create_trails).
extern TrailRibbon *trail_ribbons[TRAIL_RIBBONS];
TrailRibbon *trail_ribbon(int player, int trail);

struct TrailLimb {
    const char *name;             // "l_arm", "r_arm", "l_leg", "r_leg"
    int body_a, body_b;
};
extern const TrailLimb trail_limbs[TRAILS_PER_PLAYER];

// 0 when made; 1 when memory ran out (nothing half-made is kept).
int create_trails();
void destroy_trails();
void reset_trails();
void trail_add_point(TrailRibbon *ribbon, const float a[3], const float b[3], int value);
// One ageing step of one ribbon (gathers the live quads).
void trail_update_ribbon(TrailRibbon *ribbon);
// Feeds every fighter's limbs (match_state.num_players fighters) and ages
// the ribbons.
void update_trails();
void draw_trails();
void trail_draw(TrailRibbon *ribbon);
void trail_set_colors(TrailRibbon *ribbon, const float colour1[4], const float colour2[4]);
void trail_set_point_color(TrailRibbon *ribbon, const float rgb[3]);

// Texture of one ribbon from "<subdir>/<dir>" named "trail_<name>"; 1 when
// the ribbon has no texture object, a name is not plain, or loading failed.
int load_trail_texture(int player, int trail, const char *dir, const char *subdir);
// Per trail: the player's custom texture (the name must be plain), the
// colours from the palette row in trail_colour[trail] (0: none).
void load_custom_trail_textures(int player, const char *name, const int trail_colour[4]);
// GL names are gone (video re-initialised): free every trail texture; the
// next load_custom_trail_textures loads them again.
void free_trail_textures();
