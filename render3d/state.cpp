// The renderer's state that the scenes, start-up and the tests read or set.
// Main thread only.
#include "render3d/render3d.h"

std::int32_t rotation_steps_half = 256;

float sin_table[angle_steps] = {};
float cos_table[angle_steps] = {};
float rot_sin_table[rotation_steps] = {};
float rot_cos_table[rotation_steps] = {};

float sin_value = 0.0f;
float cos_value = 0.0f;

float rotation_matrix[9] = {};
float translation[3] = {};
std::int32_t focal_length = 0;
std::int32_t centre_x = 0;
std::int32_t centre_y = 0;

DepthEntry depth_list[depth_list_capacity] = {};

double recip_table[recip_table_size] = {};
double slope_scale = 0.0;
std::int32_t short_edges[edge_table_size] = {};
std::int32_t long_edge[edge_table_size] = {};
std::int32_t triangle_x[3] = {};
std::int32_t triangle_y[3] = {};
std::uint32_t span_colour = 0;

Object3D demo_object = {nullptr, nullptr};

std::int32_t object_angle_a = 0;
std::int32_t object_angle_b = 0;
std::int32_t object_angle_c = 0;
std::int32_t object_x = 0;
std::int32_t object_y = 0;
std::int32_t object_z = 0;

Point3 camera_vertices[object_vertex_count] = {};
ScreenPoint screen_vertices[object_vertex_count] = {};
Point3 vertex_backup[object_vertex_count] = {};
