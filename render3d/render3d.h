// The 3D renderer: the trigonometric tables and the vertex pipeline
// (rotation, translation, perspective projection), the face set-up with its
// depth sort and screen rejection, the additive triangle fill, and the
// drawing of the built-in object and of glow sprites.
//
// Threads: everything here, functions and state, belongs to the main thread.
// The music thread never touches it.
#pragma once

#include <cstdint>

// --- Records -----------------------------------------------------------------

// A vertex: model space or camera space. 12 bytes, no gap.
struct Point3 {
  float x;
  float y;
  float z;
};

// A projected vertex in screen pixels; project_points writes x and y and
// leaves the spare word alone. 12 bytes, the same stride as Point3, so that
// one byte offset (index x 12) addresses a vertex in either array.
struct ScreenPoint {
  std::int32_t x;
  std::int32_t y;
  std::int32_t spare;
};

// A triangle: the byte offsets (vertex index x 12) of its three vertices in
// a Point3 or ScreenPoint array. Stored face lists hold plain indices until
// convert_face_list has run over them.
struct Face {
  std::uint32_t vertex[3];
};

// One face of the depth list: a larger key is farther from the eye.
struct DepthEntry {
  std::int32_t key;
  const Face* face;
};

// An object: its model vertices (scaled and restored in place during a
// pulse) and its face list. draw_object always uses 42 vertices and 80 faces.
struct Object3D {
  Point3* vertices;
  Face* faces;
};

static_assert(sizeof(Point3) == 12 && sizeof(ScreenPoint) == 12 && sizeof(Face) == 12,
              "face lists address both vertex arrays with one 12-byte stride");

// --- Tables and the vertex pipeline --------------------------------------------

inline constexpr int angle_steps = 1024;    // lookup_sin_cos: 1024 steps per turn
inline constexpr int rotation_steps = 512;  // set_rotation: 512 steps per turn
extern std::int32_t rotation_steps_half;    // 256: the rotation tables step by pi / 256

extern float sin_table[angle_steps];         // sin(i pi / 512)
extern float cos_table[angle_steps];         // cos(i pi / 512)
extern float rot_sin_table[rotation_steps];  // sin(i pi / rotation_steps_half)
extern float rot_cos_table[rotation_steps];  // cos(i pi / rotation_steps_half)

// Results of lookup_sin_cos, read by the scenes.
extern float sin_value;
extern float cos_value;

// Row-vector matrix from build_matrix: output component j takes
// rotation_matrix[j], [j + 3] and [j + 6]. Translation from set_translation.
extern float rotation_matrix[9];
extern float translation[3];
extern std::int32_t focal_length;
extern std::int32_t centre_x;
extern std::int32_t centre_y;

void build_rotation_tables();
void build_sin_cos_tables();
// sin x and cos x rounded correctly to single precision, the same on every
// system (the tables are built with them); for |x| up to 2^20, 0 beyond.
float sin_rounded(double x);
float cos_rounded(double x);
// angle in 1024 steps per turn, any value (taken AND 1023).
void lookup_sin_cos(std::int32_t angle);
// The three angles in 512 steps per turn, any values (each taken AND 511).
void set_rotation(std::int32_t a, std::int32_t b, std::int32_t c);
void set_translation(std::int32_t x, std::int32_t y, std::int32_t z);
void set_projection(std::int32_t focal, std::int32_t cx, std::int32_t cy);
void build_matrix();
// Rotates and translates n vertices; source and destination are distinct.
void transform_points(std::uint32_t n, const Point3* source, Point3* destination);
// Perspective projection of n camera-space vertices; a coordinate that is
// not a finite value within int32 (z = 0 among them) becomes
// projection_failed.
void project_points(std::uint32_t n, const Point3* source, ScreenPoint* destination);
inline constexpr std::int32_t projection_failed = INT32_MIN;

// --- Faces -------------------------------------------------------------------------

inline constexpr std::uint32_t depth_list_capacity = 2000;  // faces per draw_faces call
extern DepthEntry depth_list[depth_list_capacity];

// Turns count words of vertex indices into byte offsets (x 12), in place.
void convert_face_list(std::uint32_t* words, std::uint32_t count);
// depth_list[k] = (key of face k, face k) for k < n (n at most 2000).
void compute_face_keys(std::uint32_t n, const Face* faces, const Point3* camera);
// Sorts depth_list[0 .. n - 1] by key, farthest (largest) first, into
// exactly the order sort_range(0, n - 1) leaves (short lists without equal
// keys are ranked instead, which gives the same order).
void sort_faces(std::uint32_t n);
// One step of the sort over depth_list[lo .. hi]; indices outside the list
// are cut off.
void sort_range(std::int32_t lo, std::int32_t hi);
// True when all three screen vertices lie beyond one screen edge.
bool reject_face(const Face& face, const ScreenPoint* screen);
// Sorts, rejects and fills n faces (at most 2000; more are ignored). The
// offsets of every face must address vertices inside camera and screen.
void draw_faces(std::uint32_t n, const Face* faces, const Point3* camera, const ScreenPoint* screen);

// --- Triangle rasterizer -----------------------------------------------------------

inline constexpr std::int32_t max_triangle_height = 5800;  // rows; taller triangles are dropped
inline constexpr std::uint32_t recip_table_size = 2048;
// Room for the rows of the tallest triangle that is drawn.
inline constexpr std::uint32_t edge_table_size = max_triangle_height;

extern double recip_table[recip_table_size];  // entry n - 1 = 1 / n
extern double slope_scale;                    // 2^32 - 1
// Per row from the triangle's top: x of the edge from vertex 0 to 1 and
// then from 1 to 2, and x of the edge from vertex 0 to 2. The plain fill
// walks its edges into them; the vector fills walk the same edges several
// rows at a time into a list of spans of their own.
extern std::int32_t short_edges[edge_table_size];
extern std::int32_t long_edge[edge_table_size];
extern std::int32_t triangle_x[3];
extern std::int32_t triangle_y[3];
// The colour fill_triangle adds to every covered pixel; only the low 16
// bits are used. Set by the scenes.
extern std::uint32_t span_colour;

// The drawable area of the fill: columns clip_left .. clip_right - 1 and
// rows clip_top .. clip_bottom - 1 (edge x values are clamped into
// clip_left .. clip_right).
inline constexpr std::int32_t clip_left = 0;
inline constexpr std::int32_t clip_right = 319;
inline constexpr std::int32_t clip_top = 0;
inline constexpr std::int32_t clip_bottom = 199;

// Fills the reciprocal table and, on its first call only, resolves
// demo_object from the asset block and converts its face list.
void build_reciprocal_table();
// Adds span_colour to the pixels of the triangle in triangle_x/triangle_y
// (left sorted by y afterwards).
void fill_triangle();
// fill_triangle for the corners (x0, y0), (x1, y1), (x2, y2), which it
// leaves in triangle_x/triangle_y sorted by y, as fill_triangle does.
void fill_triangle_at(std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                      std::int32_t y2);
// Writes yb - ya clamped edge x values (32.32 fixed-point walk) from
// position on and returns the position after the last; position must have
// room for them. Writes nothing when yb <= ya.
std::int32_t* step_edge(std::int32_t xa, std::int32_t xb, std::int32_t ya, std::int32_t yb, std::int32_t* position);

// --- Object and sprites --------------------------------------------------------------

inline constexpr std::uint32_t object_vertex_count = 42;
inline constexpr std::uint32_t object_face_count = 80;
inline constexpr std::uint32_t object_pulse_count = 9;
inline constexpr float object_pulse_scale = 3.0f;

// The built-in object, with pointers into the asset block; null until
// build_reciprocal_table has run.
extern Object3D demo_object;

// The object's rotation angles (512 steps per turn) and position, owned and
// stepped by the scenes, applied by draw_object.
extern std::int32_t object_angle_a;
extern std::int32_t object_angle_b;
extern std::int32_t object_angle_c;
extern std::int32_t object_x;
extern std::int32_t object_y;
extern std::int32_t object_z;

extern Point3 camera_vertices[object_vertex_count];
extern ScreenPoint screen_vertices[object_vertex_count];
extern Point3 vertex_backup[object_vertex_count];

// Draws the object with the scenes' angles and position, three times its
// size while the song position is one of object_pulse_positions.
void draw_object(const Object3D& object);

inline constexpr int sprite_width = 64;
inline constexpr int sprite_height = 42;

// Adds the glow sprite with its top-left pixel at (x, y), per field with
// saturation. Drawn only when it lies wholly inside the frame
// (0 <= x <= 256, 0 <= y <= 158); the scenes pass x <= 255, y <= 157.
void draw_sprite(std::int32_t x, std::int32_t y);
// Converts the sprite's 64 x 42 picture bytes through sprite_colours into
// the ready colours that draw_sprite adds. draw_sprite does this itself on
// its first call; call it again after changing the picture or the colours.
void build_sprite_block();
