// The depth-sorted draw list: translucent fighter geometry is queued here
// during the fighter pass, sorted by distance from the camera and drawn from
// the farthest to the nearest.
#pragma once

#include <GL/glew.h>

struct Texture;

// The material header of an entry.
struct SortedDrawMaterial {
    int mode;              // DRAW_* of render/scene.h
    Texture *texture;      // null for none
    Texture *bump;         // null for none
    int shade_model;       // GL_FLAT unless set
    float colour[4];       // RGBA, from draw_color when queued
    SortedDrawMaterial();
};

enum { SORTED_CAPSULE = 0, SORTED_SPHERE = 1, SORTED_BOX = 2, SORTED_HALF_SPHERE = 3 };
enum { SORTED_LIST_ROWS = 1024, SORTED_SHAPE_VALUES = 4 };

// The geometry block as the producers hand it over.
struct SortedGeometry {
    double position[3];
    double linear_velocity[3];
    double angular_velocity[3];
    double rotation[12];   // 3 x 4 row-major
    double shape[SORTED_SHAPE_VALUES];   // capsule: length, radius; sphere:
                           // radius; box: sides; half sphere: radius, normal
};

struct SortedDrawEntry {
    SortedDrawMaterial material;
    double position[3];
    double linear_velocity[3];
    double angular_velocity[3];
    double rotation[12];
    double shape[SORTED_SHAPE_VALUES];
    int kind;              // SORTED_*
    float depth;           // squared distance from the camera
    int key;               // drawn first within its group when larger
    int group;             // the owner's record index, 0 for none
    float group_depth;     // the group's farthest depth (set by the sort)
    SortedDrawEntry();
    SortedDrawEntry(const SortedDrawMaterial &material, const SortedGeometry &geometry);
};

struct SortedDrawList {
    SortedDrawEntry entries[SORTED_LIST_ROWS];
    int count;
};
extern SortedDrawList sorted_draw_list;

// The squared distance from the camera position to p, each coordinate
// rounded to float first.
float sorted_depth(const double p[3]);
// Appends a copy; a full list refuses it with a line on stderr. 0 when it
// was added, 1 when it was dropped.
int append_sorted_entry(const SortedDrawEntry &entry);
// A strict weak order: the group's farthest depth, then group, key, depth
// (all ascending). Needs group_depth filled.
bool sorted_draw_less(const SortedDrawEntry &a, const SortedDrawEntry &b);
// qsort form of the same order (-1, 0, 1).
int compare_sorted_draw(const void *a, const void *b);
void sort_sorted_list();
// Draws the last row first, down to row 0, then empties the list.
void draw_sorted_list();
