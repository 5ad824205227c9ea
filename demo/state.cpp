// The timeline's state that other parts of the program read.
#include "demo/demo.h"

ActiveCaption active_captions[active_caption_capacity] = {};
ActiveCaption* caption_list_end = active_captions;
CaptionEvent caption_table[caption_count] = {};

std::int32_t orbit_angle = 0;
std::uint8_t fade_level = 255;
std::uint8_t blend_counter = 0;
std::int32_t trail_angle_1 = 0, trail_angle_2 = 0, trail_angle_3 = 0, trail_angle_4 = 0, trail_angle_5 = 0;
std::int32_t trail_radius_1 = 120;
std::int32_t trail_radius_2 = 200;
std::uint32_t trail_count = 0;
Point3 trail_points[trail_capacity] = {};
std::uint16_t cloud_seed = 9273;
Point3 cloud_points[cloud_capacity] = {};
std::int32_t cloud_angle_a = 0, cloud_angle_b = 0;
Point3 point_camera[cloud_capacity] = {};
ScreenPoint point_screen[cloud_capacity] = {};
const std::uint8_t* picture_front = nullptr;
const std::uint8_t* picture_back = nullptr;
