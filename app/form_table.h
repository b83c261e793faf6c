// The window as it was designed, once for both views: each control's role,
// its design name (the object name tests and readers find it by), its
// caption, its place in twips (1440 to the inch, so 15 to a pixel at
// 96 dpi), its font and its place in the tab order. Plain C++.
#pragma once

#include "vocabulary.h"

#include <cstddef>

namespace qrv::form {

inline constexpr int twips_per_inch = 1440;

struct Twips {
    int left, top, width, height;
};

// The window's client area.
inline constexpr int client_width = 8715;
inline constexpr int client_height = 6165;

// 宋体 throughout: the labels and buttons in their own sizes, the lists,
// boxes and log in the window's default font, 宋体 9 pt as on a Chinese
// system (a view may keep its platform's default there).
inline constexpr char font_family[] = "宋体";
struct Font {
    double points;
    bool bold;
};
inline constexpr Font default_font{9, false};
inline constexpr Font label_font{12, true};

enum class Kind { lamp, button, label, list, id_box, log_box };

// What a control is for; a view keeps its controls by it.
enum class Role {
    port_label,
    port_list,
    baud_label,
    baud_list,
    lamp,
    port_button,
    old_id_label,
    old_id_box,
    new_id_label,
    new_id_box,
    change_button,
    data_bits_label,
    stop_bits_label,
    parity_label,
    log_box,
    count
};

struct Control {
    Role role;
    Kind kind;
    const char* design_name;
    const char* caption; // a label's or a button's text
    const char* name;    // what a screen reader calls a control no label names
    Twips where;
    Font font;
    int tab; // its tab index; labels hold theirs but never take the focus; -1: none
};

// Whether a control of the kind takes the focus.
inline constexpr bool takes_focus(Kind kind)
{
    return kind != Kind::label && kind != Kind::lamp;
}

// In the order of creation: a label comes before the control it names,
// where screen readers look for the name, and the controls that take the
// focus come in the order of their tab indexes.
inline constexpr Control controls[] = {
    // clang-format off
    {Role::port_label, Kind::label, "Label3", label_port, nullptr, {240, 1560, 1455, 255}, label_font, 1},
    {Role::port_list, Kind::list, "Combo_uart", nullptr, label_port, {240, 1920, 1815, 300}, default_font, 0},
    {Role::baud_label, Kind::label, "Label1", label_baud, nullptr, {240, 2400, 1455, 255}, label_font, 3},
    {Role::baud_list, Kind::list, "Combo_baud", nullptr, label_baud, {240, 2760, 1815, 300}, default_font, 2},
    {Role::lamp, Kind::lamp, "Shape_uart", nullptr, name_lamp_closed, {240, 840, 255, 255}, default_font, -1},
    {Role::port_button, Kind::button, "Command_uart", caption_open_port, nullptr, {840, 720, 1575, 495}, {12, false}, 4},
    {Role::old_id_label, Kind::label, "Label4", label_old_id, nullptr, {3360, 840, 1455, 255}, label_font, 6},
    {Role::old_id_box, Kind::id_box, "Text_old", nullptr, label_old_id, {5160, 720, 1335, 495}, default_font, 5},
    {Role::new_id_label, Kind::label, "Label2", label_new_id, nullptr, {3360, 1560, 1455, 255}, label_font, 8},
    {Role::new_id_box, Kind::id_box, "Text_new", nullptr, label_new_id, {5160, 1440, 1335, 495}, default_font, 7},
    {Role::change_button, Kind::button, "Command2", caption_change, nullptr, {3360, 2280, 3135, 495}, {15.75, true}, 9},
    {Role::data_bits_label, Kind::label, "Label5", label_data_bits, nullptr, {240, 3360, 1455, 255}, label_font, 11},
    {Role::stop_bits_label, Kind::label, "Label6", label_stop_bits, nullptr, {240, 3840, 1455, 255}, label_font, 12},
    {Role::parity_label, Kind::label, "Label7", label_parity, nullptr, {240, 4320, 1455, 255}, label_font, 13},
    {Role::log_box, Kind::log_box, "Text_log", nullptr, name_log_box, {3240, 3120, 3375, 2295}, default_font, 10},
    // clang-format on
};

inline constexpr std::size_t index(Role role)
{
    return static_cast<std::size_t>(role);
}

} // namespace qrv::form
