// The sky texture and the sun sprite of the shader renderer, computed on the
// processor from the world shader settings.
#pragma once

#include <cstdint>

enum { SKY_TEXTURE_SIZE = 256, SUN_TEXTURE_SIZE = 128 };

// GL names (0 while none).
extern uint32_t sky_texture;
extern uint32_t sun_texture;

// The pixels alone (RGBA bytes, no GL): 256 x 256 x 4 and 128 x 128 x 4.
void fill_sky_pixels(uint8_t *pixels);
void fill_sun_pixels(uint8_t *pixels);
// The dome direction of sky texel (i, j); (0, 0, 1) at the centre.
void sky_texel_direction(int i, int j, float out[3]);
// The sun sprite's two edge directions for a sun direction (never zero).
void sun_sprite_axes(const float sun[3], float e1[3], float e2[3]);

// Builds and uploads both textures (replacing the old ones).
void build_sky_texture();
// The sun sprite (only with sharp_shadow set).
void draw_sun_sprite();
// Deletes both textures.
void free_sky_textures();
