// The GLSL sources the program carries (GLSL 1.20 with the compatibility
// built-ins). Conventions every source follows:
// - object space to world space is texture matrix 0 (load_texture_matrix_
//   from_pose); the model-view matrix holds the camera; draw world-space
//   geometry with an identity texture matrix;
// - "konstant".x pushes a vertex away from z = 0 (the capsule stretch);
// - the colour is "globalcolor" when it is not all zero, else gl_Color;
// - occluders "occa" .. "occl": xyz world position, w radius;
// - the fluid blood programs take "lightdir" as a vec4 (eye-space light
//   direction and the time offset); every other program takes a vec3.
#pragma once

struct GlslSources {
    // vertex
    const char *lit, *lit_tex, *ground, *copy, *ghost, *stain, *tcgen, *bump, *tcgen_bump,
        *blood, *shadow, *shadow_floor, *quad;
    // fragment
    const char *f_diffuse, *f_difftex, *f_ground, *f_copy, *f_ghost, *f_simple, *f_simptex,
        *f_topsimptex, *f_simpd, *f_simpdtex, *f_stain, *f_staincopy, *f_ground_ao4,
        *f_ground_ao6, *f_ground_ao12, *f_diff_ao4, *f_diff_ao6, *f_diff_ao12, *f_difftex_ao4,
        *f_difftex_ao6, *f_difftex_ao12, *f_bump, *f_bump_ao4, *f_bump_ao6, *f_bump_ao12,
        *f_blood4, *f_blood1, *f_black, *f_shadow_floor, *f_combine, *f_smooth, *f_final,
        *f_gooch, *f_phong, *f_goochtex, *f_phongtex, *f_goochtexbump, *f_phongtexbump;
};
extern const GlslSources glsl_sources;
enum { GLSL_DISTINCT_SOURCES = 51 };
