// The current scene as a POV-Ray scene description: one frame, or an
// animation with one "#case" block per drawn frame. The file only calls the
// macros that the user's "glossy.inc" defines.
#pragma once

#include <cstdio>

// One frame into path: 0 written, 1 the file could not be opened.
int pov_write_scene(const char *path);
// The scene body of the current frame (camera, blood, joints, bodies,
// environment objects) into an open file.
void pov_write_body(FILE *f);

// The open animation file and its frame counter.
extern FILE *pov_animation_file;
extern int pov_animation_frames;
// Opens path (folders made when missing) and writes the animation's head:
// 0 open, 1 not. A file still open is ended first.
int pov_begin_animation_at(const char *path);
// "raytrace/animation.pov".
int pov_begin_animation();
void pov_write_frame(int n);
void pov_end_animation();
