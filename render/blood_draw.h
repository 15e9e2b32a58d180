// The blood drops of the physics world, drawn in the scene.
#pragma once

// Every live drop (life above 0, body enabled) as a sphere of its size at
// its body's position: in its owner's colour when the drop carries one,
// else in the default blood colour. Goes the way of every sphere (drawn at
// once, or queued while the shader renderer is active).
void draw_blood_drops();
