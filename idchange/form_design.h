// The window as it was designed, for every front end to lay out alike:
// positions and sizes in twips (1440 to the inch, so 15 to a pixel at
// 96 dpi) and the fonts of the labels and buttons.
#pragma once

namespace qrv::design {

inline constexpr int twips_per_inch = 1440;

struct Twips {
    int left, top, width, height;
};

// The window's client area.
inline constexpr int client_width = 8715;
inline constexpr int client_height = 6165;

inline constexpr Twips Shape_uart{240, 840, 255, 255};
inline constexpr Twips Command_uart{840, 720, 1575, 495};
inline constexpr Twips Label3{240, 1560, 1455, 255};
inline constexpr Twips Combo_uart{240, 1920, 1815, 300};
inline constexpr Twips Label1{240, 2400, 1455, 255};
inline constexpr Twips Combo_baud{240, 2760, 1815, 300};
inline constexpr Twips Label5{240, 3360, 1455, 255};
inline constexpr Twips Label6{240, 3840, 1455, 255};
inline constexpr Twips Label7{240, 4320, 1455, 255};
inline constexpr Twips Label4{3360, 840, 1455, 255};
inline constexpr Twips Text_old{5160, 720, 1335, 495};
inline constexpr Twips Label2{3360, 1560, 1455, 255};
inline constexpr Twips Text_new{5160, 1440, 1335, 495};
inline constexpr Twips Command2{3360, 2280, 3135, 495};
inline constexpr Twips Text_log{3240, 3120, 3375, 2295};

struct Font {
    double points;
    bool bold;
};

// 宋体 throughout: the labels and buttons in their own sizes, the lists,
// boxes and log in the window's default font, 宋体 9 pt as on a Chinese
// system (a front end may keep its platform's default there).
inline constexpr char font_family[] = "宋体";
inline constexpr Font default_font{9, false};
inline constexpr Font label_font{12, true};
inline constexpr Font port_button_font{12, false};
inline constexpr Font change_button_font{15.75, true};

} // namespace qrv::design
